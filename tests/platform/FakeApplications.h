#pragma once

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

// Copies of a small idle program, saved under application names and started as child
// processes, so that /proc shows real executables by those names. Every copy still running
// is killed when this goes away.
class FakeApplications
{
public:
    FakeApplications() = default;
    FakeApplications(const FakeApplications &) = delete;
    FakeApplications &operator=(const FakeApplications &) = delete;

    ~FakeApplications()
    {
        for (const auto &process : m_processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    QString executablePath(const QString &name) const { return m_folder.filePath(name); }

    // Starts the program saved as `name`, through `wrapper` (a program that runs the rest of
    // its command line, as setpriv does) when one is given; nullptr when it does not start.
    QProcess *start(const QString &name, const QStringList &arguments = {},
                    const QStringList &wrapper = {})
    {
        const QString path = executablePath(name);
        if (!QFile::exists(path)) {
            if (!QFile::copy(QStringLiteral(ORVANE_IDLE_APP), path))
                return nullptr;
            // Readable and runnable by other users, for the test that runs a copy as one.
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadOther | QFile::ExeOther);
            QFile::setPermissions(m_folder.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                       QFile::ExeOwner | QFile::ExeOther);
        }
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        if (wrapper.isEmpty())
            process->start(path, arguments);
        else
            process->start(wrapper.front(), wrapper.mid(1) + QStringList{path} + arguments);
        if (!process->waitForStarted(5000))
            return nullptr;
        m_processes.push_back(std::move(process));
        return m_processes.back().get();
    }

private:
    QTemporaryDir m_folder;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

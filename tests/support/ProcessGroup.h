#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>
#include <vector>

// The programs a test starts for a desktop of its own: each lives until it is stopped or the
// group goes, and the group ends them newest first.
class ProcessGroup
{
public:
    ProcessGroup() = default;
    ProcessGroup(const ProcessGroup &) = delete;
    ProcessGroup &operator=(const ProcessGroup &) = delete;
    virtual ~ProcessGroup()
    {
        for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it)
            stop(**it);
    }

    QProcessEnvironment environment() const { return m_environment; }

    // A program's standard output; nothing when it failed.
    std::optional<QByteArray> run(const QString &program, const QStringList &arguments,
                                  int timeout = 20'000) const
    {
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.start(program, arguments);
        if (!process.waitForFinished(timeout) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0)
            return std::nullopt;
        return process.readAllStandardOutput();
    }

    // Starts a program that lives until it is stopped or the group goes; `forwarded`: its
    // output goes to the test's own, for the log of a failed run.
    QProcess &spawn(const QString &program, const QStringList &arguments,
                    const QProcessEnvironment &environment = {}, bool forwarded = false)
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment.isEmpty() ? m_environment : environment);
        if (forwarded)
            process->setProcessChannelMode(QProcess::ForwardedChannels);
        else
            process->setStandardErrorFile(QProcess::nullDevice());
        process->start(program, arguments);
        process->waitForStarted();
        m_processes.push_back(std::move(process));
        return *m_processes.back();
    }

    // A D-Bus daemon of the group's own, listening in `folder` when given: its address; empty
    // when it did not start.
    QString startBus(const QString &folder = {})
    {
        QStringList arguments{QStringLiteral("--session"), QStringLiteral("--nofork"),
                              QStringLiteral("--print-address=1")};
        // An address escapes what is not a letter, digit or one of a few marks.
        if (!folder.isEmpty())
            arguments << QStringLiteral("--address=unix:dir=") +
                             QString::fromLatin1(QUrl::toPercentEncoding(folder, "/"));
        return readLine(spawn(QStringLiteral("dbus-daemon"), arguments));
    }

    static void stop(QProcess &process)
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(5000);
    }

    // The first line a program writes, without its end; empty when none came in time.
    static QString readLine(QProcess &process, int timeout = 20'000)
    {
        QByteArray line;
        for (QDeadlineTimer deadline(timeout); !line.endsWith('\n') && !deadline.hasExpired();) {
            process.waitForReadyRead(100);
            line += process.readAllStandardOutput();
        }
        return line.endsWith('\n') ? QString::fromLatin1(line.trimmed()) : QString();
    }

protected:
    QProcessEnvironment m_environment;

private:
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

#include "platform/ProcRunningApplications.h"
#include "setup/DesktopApp.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <unistd.h>

// Starts copies of the shell, saved under application names and waiting on their input, so
// that /proc shows real executables by those names.
class TestProcRunningApplications : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    std::vector<std::unique_ptr<QProcess>> m_processes;

private Q_SLOTS:
    void cleanup()
    {
        for (const auto &process : m_processes) {
            process->kill();
            process->waitForFinished();
        }
        m_processes.clear();
    }

    void findAndQuit_data()
    {
        // Processes as "<+ if it matches>[~: executable removed once started][%: run as nobody]
        // <name>,<argument>...;...", "@" standing for a name of this test's own.
        QTest::addColumn<QString>("started");
        QTest::addColumn<QString>("names"); // ";"-separated
        QTest::addColumn<int>("app");       // a DesktopApp whose names are used instead; -1: none
        // clang-format off
        const auto row = [](const char *name, const char *started, const char *names, int app = -1) { QTest::newRow(name) << QString::fromUtf8(started) << QString::fromUtf8(names) << app; };
        row("exact, case-sensitive names", "+@App;-@app;-@APP;-@AppX;-@App.bin;-@Other", "@App");
        row("several names, one with a space", "+@App;+@App Desktop;-@app desktop", "@App;@App Desktop");
        row("helper processes skipped", "-@App,--type=renderer;-@App,--no-sandbox,--type=gpu-process;+@App,--enable-features=x,type=x", "@App");
        row("executable removed while running", "+~@App", "@App");
        row("only the current user's processes", "+@App;-%@App", "@App");
        row("no names", "-@App", "");
        row("Claude Desktop, not the claude tool", "+Claude;+Claude Desktop;+claude-desktop;-claude;-Claude,--type=renderer;-Codex", "", int(DesktopApp::claude));
        row("only the claude tool", "-claude;-Claude,--type=gpu-process;-Codex;-OpenCode", "", int(DesktopApp::claude));
        row("Codex Desktop, not the codex tool", "+Codex;+codex-desktop;-codex;-Codex Desktop;-Claude", "", int(DesktopApp::codex));
        row("OpenCode, not the opencode tool", "+OpenCode;-opencode", "", int(DesktopApp::openCode));
        // clang-format on
    }

    void findAndQuit()
    {
        QFETCH(QString, started);
        QFETCH(QString, names);
        QFETCH(int, app);
        const QString unique = u"Orv"_qs + QString::number(QCoreApplication::applicationPid());
        const QStringList list = app < 0
                                     ? names.replace(u'@', unique).split(u';', Qt::SkipEmptyParts)
                                     : applicationNames(DesktopApp(app));
        Platform::ProcRunningApplications applications;
        if (applications.isRunning(list))
            QSKIP("a real copy of the application runs on this machine; not quitting it");
        if (started.contains(u'%') && ::geteuid() != 0)
            QSKIP("only root can start a process as another user");
        QVERIFY(QFile::setPermissions(m_folder.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                           QFile::ExeOwner | QFile::ExeOther));
        const QStringList entries = started.replace(u'@', unique).split(u';');
        for (const QString &entry : entries) {
            const QStringList words =
                QString(entry).remove(QRegularExpression(u"^[+-][~%]?"_qs)).split(u',');
            const QString path = m_folder.filePath(words.front());
            QVERIFY(QFile::exists(path) || QFile::copy(u"/bin/sh"_qs, path));
            QStringList command{path, u"-c"_qs, u"read line"_qs};
            if (entry.contains(u'%'))
                command =
                    u"setpriv --reuid=65534 --regid=65534 --clear-groups"_qs.split(u' ') + command;
            auto &process = m_processes.emplace_back(std::make_unique<QProcess>());
            process->start(command.front(), command.mid(1) + words);
            // setpriv replaces itself with the copy; wait until it has.
            QTRY_COMPARE(QFileInfo(u"/proc/%1/exe"_qs.arg(process->processId())).symLinkTarget(),
                         path);
            QVERIFY(!entry.contains(u'~') || QFile::remove(path));
        }
        // The rows' notation again, "+" where `matches` holds for the process.
        const auto marked = [this, &entries](const std::function<bool(std::size_t)> &matches) {
            QStringList marks;
            for (std::size_t i = 0; i < m_processes.size(); ++i)
                marks.append((matches(i) ? u'+' : u'-') + entries.at(qsizetype(i)).mid(1));
            return marks.join(u';');
        };
        const QList<qint64> found = applications.processIds(list);
        QCOMPARE(marked([&](std::size_t i) { return found.contains(m_processes[i]->processId()); }),
                 started);
        QCOMPARE(app < 0 ? applications.isRunning(list) : isDesktopAppRunning(DesktopApp(app)),
                 started.contains(u'+'));
        QCOMPARE(app < 0 ? applications.terminate(list) : terminateDesktopApp(DesktopApp(app)),
                 started.count(u'+'));
        // Asked to quit with the terminate signal; nothing else was sent one: still running.
        QCOMPARE(marked([&](std::size_t i) {
                     const int wait = entries.at(qsizetype(i)).startsWith(u'+') ? 5000 : 100;
                     return m_processes[i]->waitForFinished(wait) &&
                            m_processes[i]->exitCode() == SIGTERM;
                 }),
                 started);
    }
};

QTEST_GUILESS_MAIN(TestProcRunningApplications)
#include "tst_procrunningapplications.moc"

#include "platform/ProcRunningApplications.h"
#include "setup/DesktopApp.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

#include <unistd.h>

// Copies of a program that only waits for a signal, saved under application names and started
// as child processes, so that /proc shows real executables by those names.
class TestProcRunningApplications : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QFile::setPermissions(m_folder.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                   QFile::ExeOwner | QFile::ExeOther);
    }
    void cleanup()
    {
        for (const auto &process : m_processes) {
            process->kill();
            process->waitForFinished(5000);
        }
        m_processes.clear();
    }
    void findAndQuit_data();
    void findAndQuit();

private:
    QTemporaryDir m_folder;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

void TestProcRunningApplications::findAndQuit_data()
{
    // Started processes as "<+ if it matches><flags><name>,<argument>...;...", "@" standing for a
    // name of this test's own; flags: "~" executable removed once started, "%" run as nobody.
    QTest::addColumn<QString>("started");
    QTest::addColumn<QString>("names"); // ";"-separated
    QTest::addColumn<int>("app");       // a DesktopApp whose names are used instead; -1: none
    // clang-format off
    const auto row = [](const char *name, const char *started, const char *names, int app = -1) { QTest::newRow(name) << QString::fromUtf8(started) << QString::fromUtf8(names) << app; };
    row("exact, case-sensitive names", "+@App;-@app;-@APP;-@AppX;-@App.bin;-@Other", "@App");
    row("several names, one with a space", "+@App;+@App Desktop;-@app desktop", "@App;@App Desktop");
    row("helper processes skipped", "-@App,--type=renderer;-@App,--no-sandbox,--type=gpu-process;+@App,--enable-features=x,type=x;+@App,second", "@App");
    row("executable removed while running", "+~@App", "@App");
    row("only the current user's processes", "+@App;-%@App", "@App");
    row("no names", "-@App", "");
    row("Claude Desktop, not the claude tool", "+Claude;+Claude Desktop;+claude-desktop;-claude;-Claude,--type=renderer;-Codex", "", int(DesktopApp::claude));
    row("only the claude tool", "-claude;-Claude,--type=gpu-process;-Codex", "", int(DesktopApp::claude));
    row("Codex Desktop, not the codex tool", "+Codex;+codex-desktop;-codex;-Codex Desktop;-Claude", "", int(DesktopApp::codex));
    row("only the codex tool", "-codex;-Codex Desktop", "", int(DesktopApp::codex));
    row("OpenCode", "+OpenCode;-opencode", "", int(DesktopApp::openCode));
    row("only the opencode tool", "-opencode", "", int(DesktopApp::openCode));
    // clang-format on
}

void TestProcRunningApplications::findAndQuit()
{
    QFETCH(QString, started);
    QFETCH(QString, names);
    QFETCH(int, app);
    const QString unique = u"Orv"_qs + QString::number(QCoreApplication::applicationPid());
    const QStringList list = app < 0 ? names.replace(u'@', unique).split(u';', Qt::SkipEmptyParts)
                                     : applicationNames(DesktopApp(app));
    Platform::ProcRunningApplications applications;
    if (applications.isRunning(list))
        QSKIP("a real copy of the application runs on this machine; not quitting it");
    QList<QProcess *> quitting, kept;
    for (QString entry : started.replace(u'@', unique).split(u';')) {
        const bool match = entry.startsWith(u'+'), removed = entry.contains(u'~');
        const bool asNobody = entry.contains(u'%');
        if (asNobody && ::geteuid() != 0)
            QSKIP("only root can start a process as another user");
        const QStringList words = entry.remove(0, 1).remove(u'~').remove(u'%').split(u',');
        const QString path = m_folder.filePath(words.front());
        QVERIFY(QFile::exists(path) || QFile::copy(QStringLiteral(ORVANE_IDLE_APP), path));
        auto &process = m_processes.emplace_back(std::make_unique<QProcess>());
        process->start(asNobody ? u"setpriv"_qs : path,
                       (asNobody ? QStringList{u"--reuid=65534"_qs, u"--regid=65534"_qs,
                                               u"--clear-groups"_qs, path}
                                 : QStringList()) +
                           words.mid(1));
        QVERIFY(process->waitForStarted(5000));
        // setpriv replaces itself with the copy; wait until it has.
        QTRY_COMPARE(QFileInfo(u"/proc/%1/exe"_qs.arg(process->processId())).symLinkTarget(), path);
        QVERIFY(!removed || QFile::remove(path));
        (match ? quitting : kept).append(process.get());
    }
    QList<qint64> found, expected;
    for (qint64 pid : applications.processIds(list)) {
        if (std::ranges::any_of(m_processes,
                                [pid](const auto &p) { return p->processId() == pid; }))
            found.append(pid);
    }
    for (QProcess *process : std::as_const(quitting))
        expected.append(process->processId());
    std::ranges::sort(found);
    std::ranges::sort(expected);
    QCOMPARE(found, expected);
    QCOMPARE(app < 0 ? applications.isRunning(list) : isDesktopAppRunning(DesktopApp(app)),
             !expected.isEmpty());
    QCOMPARE(app < 0 ? applications.terminate(list) : terminateDesktopApp(DesktopApp(app)),
             expected.size());
    for (QProcess *process : std::as_const(quitting)) {
        QVERIFY(process->waitForFinished(5000));
        QCOMPARE(process->exitStatus(), QProcess::CrashExit);
        QCOMPARE(process->exitCode(), SIGTERM);
    }
    QTest::qWait(200); // nothing else was sent a signal: the others still run a moment later
    for (QProcess *process : std::as_const(kept))
        QCOMPARE(process->state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestProcRunningApplications)
#include "tst_procrunningapplications.moc"

#include "setup/DesktopApp.h"
#include "setup/DesktopLaunchMode.h"

#include "platform/FakeApplications.h"
#include "platform/ProcRunningApplications.h"

#include <QTest>

#include <csignal>

Q_DECLARE_METATYPE(DesktopApp)
Q_DECLARE_METATYPE(std::optional<DesktopLaunchMode>)

class TestDesktopApps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void launchModeFromString_data();
    void launchModeFromString();
    void running_data();
    void running();
    void terminateQuitsOnlyTheDesktopApp();

private:
    // These tests start programs under the real names; a real copy on this machine would
    // make them wrong, and must not be quit.
    static bool realCopyRunning(DesktopApp app)
    {
        return Platform::ProcRunningApplications().isRunning(applicationNames(app));
    }
};

void TestDesktopApps::launchModeFromString_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<std::optional<DesktopLaunchMode>>("expected");
    QTest::newRow("gateway") << u"gateway"_qs << std::optional(DesktopLaunchMode::gateway);
    QTest::newRow("native") << u"native"_qs << std::optional(DesktopLaunchMode::native);
    QTest::newRow("capitalised") << u"Gateway"_qs << std::optional<DesktopLaunchMode>();
    QTest::newRow("upper case") << u"NATIVE"_qs << std::optional<DesktopLaunchMode>();
    QTest::newRow("padded") << u" native"_qs << std::optional<DesktopLaunchMode>();
    QTest::newRow("prefix") << u"gate"_qs << std::optional<DesktopLaunchMode>();
    QTest::newRow("empty") << QString() << std::optional<DesktopLaunchMode>();
}

void TestDesktopApps::launchModeFromString()
{
    QFETCH(QString, raw);
    QFETCH(std::optional<DesktopLaunchMode>, expected);
    const auto mode = desktopLaunchModeFromString(raw);
    QCOMPARE(mode, expected);
    if (mode)
        QCOMPARE(rawValue(*mode), raw);
}

void TestDesktopApps::running_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<DesktopApp>("app");
    QTest::addColumn<bool>("expected");

    const QStringList none;
    QTest::newRow("Claude") << u"Claude"_qs << none << DesktopApp::claude << true;
    QTest::newRow("Claude Desktop") << u"Claude Desktop"_qs << none << DesktopApp::claude << true;
    QTest::newRow("claude-desktop") << u"claude-desktop"_qs << none << DesktopApp::claude << true;
    QTest::newRow("claude tool") << u"claude"_qs << none << DesktopApp::claude << false;
    QTest::newRow("Claude helper")
        << u"Claude"_qs << QStringList{u"--type=renderer"_qs} << DesktopApp::claude << false;
    QTest::newRow("Claude is not Codex") << u"Claude"_qs << none << DesktopApp::codex << false;
    QTest::newRow("Codex") << u"Codex"_qs << none << DesktopApp::codex << true;
    QTest::newRow("codex-desktop") << u"codex-desktop"_qs << none << DesktopApp::codex << true;
    QTest::newRow("codex tool") << u"codex"_qs << none << DesktopApp::codex << false;
    QTest::newRow("Codex Desktop is not a name")
        << u"Codex Desktop"_qs << none << DesktopApp::codex << false;
    QTest::newRow("OpenCode") << u"OpenCode"_qs << none << DesktopApp::openCode << true;
    QTest::newRow("opencode tool") << u"opencode"_qs << none << DesktopApp::openCode << false;
    QTest::newRow("nothing started: claude") << QString() << none << DesktopApp::claude << false;
    QTest::newRow("nothing started: codex") << QString() << none << DesktopApp::codex << false;
    QTest::newRow("nothing started: openCode")
        << QString() << none << DesktopApp::openCode << false;
}

void TestDesktopApps::running()
{
    QFETCH(QString, name);
    QFETCH(QStringList, arguments);
    QFETCH(DesktopApp, app);
    QFETCH(bool, expected);
    if (realCopyRunning(app))
        QSKIP("a real copy of the application runs on this machine");

    FakeApplications fakes;
    if (!name.isEmpty())
        QVERIFY(fakes.start(name, arguments));
    QCOMPARE(isDesktopAppRunning(app), expected);
}

void TestDesktopApps::terminateQuitsOnlyTheDesktopApp()
{
    if (realCopyRunning(DesktopApp::claude))
        QSKIP("a real copy of Claude Desktop runs on this machine; not quitting it");

    FakeApplications fakes;
    QList<QProcess *> quitting;
    for (const QString &name : {u"Claude"_qs, u"Claude Desktop"_qs, u"claude-desktop"_qs}) {
        quitting.append(fakes.start(name));
        QVERIFY(quitting.back());
    }
    QList<QProcess *> kept;
    kept.append(fakes.start(u"claude"_qs));
    kept.append(fakes.start(u"Codex"_qs));
    kept.append(fakes.start(u"Claude"_qs, {u"--type=gpu-process"_qs}));
    QVERIFY(!kept.contains(nullptr));

    QCOMPARE(terminateDesktopApp(DesktopApp::claude), 3);
    for (QProcess *process : std::as_const(quitting)) {
        QVERIFY(process->waitForFinished(5000));
        QCOMPARE(process->exitCode(), SIGTERM);
    }
    for (QProcess *process : std::as_const(kept))
        QVERIFY(!process->waitForFinished(200));
    QVERIFY(!isDesktopAppRunning(DesktopApp::claude));
    QVERIFY(isDesktopAppRunning(DesktopApp::codex));
}

QTEST_GUILESS_MAIN(TestDesktopApps)
#include "tst_desktopapps.moc"

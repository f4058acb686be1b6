// The launcher screen bound to the real wizard controller over the scripted setup engine and the
// wizard fixture's manifest: what the controller knows shows on the screen, and every button
// reaches the engine. Time moves only with the manual clock.
#include "WizardFixture.h"

#include "design/FlatButton.h"
#include "wizard/ui/CommandCard.h"
#include "wizard/ui/LaunchedView.h"
#include "wizard/ui/LauncherBinding.h"
#include "wizard/ui/LauncherRowView.h"
#include "wizard/ui/MessageBox.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Wizard::LaunchedView;
using Wizard::MessageBox;
using WizardFixture::rowButton;
using Wizard::WizardController;
using Screen = WizardController::Screen;

class TestLauncherFlow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void showsTheControllersState();
    void terminalCallsOutliveTheScreen();
    void desktopLaunches_data();
    void desktopLaunches();
    void updateAndUninstall_data();
    void updateAndUninstall();

private:
    // Preflight of a returning user with `installed` tools, run to the launcher.
    void startReturning(const QStringList &installed);
    LaunchedView *makeLauncher();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QSettings> m_settings;
    QList<MessageBox::Answer> m_answers; // the next alerts' answers
    std::unique_ptr<ScriptedSetupEngine> m_engine;
    ManualClock m_clock;
    std::unique_ptr<ManualTimers> m_timers;
    std::unique_ptr<WizardController> m_controller;
    QPointer<LaunchedView> m_view;
};

void TestLauncherFlow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = std::make_unique<QSettings>(m_dir->filePath(u"orvane.conf"_s),
                                             QSettings::IniFormat);
    m_engine = std::make_unique<ScriptedSetupEngine>();
    m_timers = std::make_unique<ManualTimers>(m_clock);
    m_controller = std::make_unique<WizardController>(
        *m_engine,
        []() -> std::expected<Manifest::Resolved, Wizard::Failure> { return WizardFixture::resolved(); },
        *m_timers);
}

void TestLauncherFlow::cleanup()
{
    delete m_view;
    m_controller.reset();
    QVERIFY2(m_answers.isEmpty(), "an alert answer was left unused");
}

void TestLauncherFlow::startReturning(const QStringList &installed)
{
    m_engine->existingInstall = true;
    for (const QString &id : installed)
        m_engine->existingHarnesses.append({id, std::nullopt});
    m_controller->preflight();
    QVERIFY(m_engine->releaseVersionInfo({u"1.0.0"_s, u"1.1.0"_s}));
    QVERIFY(m_engine->releaseNodeVersion(u"v20.11.0"_s));
    QCOMPARE(m_controller->screen(), Screen::Launched);
}

LaunchedView *TestLauncherFlow::makeLauncher()
{
    Wizard::LauncherServices services;
    services.clipboard = QGuiApplication::clipboard();
    services.settings = m_settings.get();
    services.timers = m_timers.get();
    services.ask = WizardFixture::answerFrom(m_answers);
    m_view = Wizard::createLauncher(*m_controller, services);
    m_view->resize(720, 560);
    m_view->show();
    return m_view;
}

void TestLauncherFlow::showsTheControllersState()
{
    startReturning({u"opencode"_s, u"claude-code"_s});
    LaunchedView *view = makeLauncher();
    // The controller's commands, in manifest order.
    QCOMPARE(view->findChildren<Wizard::LauncherRowView *>().size(), 2);
    QCOMPARE(view->rows().at(0).command, u"orv claude"_s);
    QCOMPARE(view->rows().at(1).command, u"orv opencode"_s);
    QCOMPARE(view->findChild<QLabel *>(u"version"_s)->text(),
             u"Orvane 1.0.0 \u00B7 update available: 1.1.0"_s);
    QVERIFY(view->findChild<Design::FlatButton *>(u"update"_s)->isVisible());

    // "Settings" leaves for fresh questions.
    QTest::mouseClick(view->findChild<Design::FlatButton *>(u"settings"_s), Qt::LeftButton);
    QCOMPARE(m_controller->screen(), Screen::Questions);
}

void TestLauncherFlow::terminalCallsOutliveTheScreen()
{
    startReturning({u"claude-code"_s, u"codex"_s});
    LaunchedView *view = makeLauncher();
    auto *card = view->findChild<Wizard::CommandCard *>();

    QTest::mouseClick(rowButton(*view, 0, "openInTerminal"), Qt::LeftButton);
    m_timers->advance(1500ms);
    QTest::mouseClick(rowButton(*view, 1, "openInTerminal"), Qt::LeftButton);
    QCOMPARE(card->command(), u"orv codex"_s);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"orv codex"_s);
    QCOMPARE(m_engine->callCount(u"openTerminal"_s), 0); // nothing before the two seconds

    // The first click's terminal is asked for at its two seconds; its card goes with it.
    m_timers->advance(500ms);
    QCOMPARE(m_engine->callCount(u"openTerminal"_s), 1);
    QVERIFY(!card->isVisible());
    QVERIFY(m_engine->fail(u"openTerminal"_s,
                           Setup::PlatformError{u"launch"_s, u"x-terminal-emulator"_s, u"not found"_s}));
    QCOMPARE(view->findChild<QLabel *>(u"error"_s)->text(), u"Terminal couldn\u2019t be opened."_s);
    QVERIFY(view->findChild<QLabel *>(u"error"_s)->isVisible());

    // The user leaves the launcher; the second click's terminal still opens.
    QTest::mouseClick(view->findChild<Design::FlatButton *>(u"settings"_s), Qt::LeftButton);
    delete m_view;
    m_timers->advance(1500ms);
    QCOMPARE(m_engine->callCount(u"openTerminal"_s), 2);
    // The error stands until the new attempt succeeds, which clears it and hides the
    // application shortly after.
    QVERIFY(m_controller->launcherErrorText());
    QSignalSpy hides(m_controller.get(), &WizardController::hideApplicationRequested);
    QVERIFY(m_engine->succeed(u"openTerminal"_s));
    QCOMPARE(m_controller->launcherErrorText(), std::nullopt);
    m_timers->advance(200ms);
    QCOMPARE(hides.size(), 1);
}

void TestLauncherFlow::desktopLaunches_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QStringList>("operations"); // the engine's calls after the click
    QTest::addColumn<QString>("failure");        // "" for success, else the installer's output
    QTest::addColumn<QString>("error");          // the error line afterwards

    const QStringList claudeRunning{u"isDesktopAppRunning"_s, u"terminateDesktopApp"_s,
                                    u"launchClaudeDesktop"_s};
    QTest::newRow("claude, closed")
        << 0 << false << QStringList{u"isDesktopAppRunning"_s, u"launchClaudeDesktop"_s} << ""
        << "";
    QTest::newRow("claude, open: quit and relaunch") << 0 << true << claudeRunning << "" << "";
    QTest::newRow("codex fails with output")
        << 1 << false << QStringList{u"isDesktopAppRunning"_s, u"launchCodexDesktop"_s}
        << "starting\nno Codex here\n\n" << "no Codex here";
    QTest::newRow("opencode fails silently")
        << 2 << false << QStringList{u"isDesktopAppRunning"_s, u"launchOpenCodeDesktop"_s}
        << "" << "OpenCode couldn't be launched. You can try again.";
}

void TestLauncherFlow::desktopLaunches()
{
    QFETCH(int, row);
    QFETCH(bool, running);
    QFETCH(QStringList, operations);
    QFETCH(QString, failure);
    QFETCH(QString, error);
    m_settings->setValue(LaunchedView::noticeDismissedKey(), true);
    startReturning({u"claude-code"_s, u"codex"_s, u"opencode"_s});
    if (running)
        m_engine->running.insert(row == 0 ? Setup::DesktopApp::Claude : Setup::DesktopApp::Codex);
    LaunchedView *view = makeLauncher();
    const qsizetype before = m_engine->calls.size();

    if (running)
        m_answers.append(MessageBox::Answer::Confirm);
    QTest::mouseClick(rowButton(*view, row, "launchApp"), Qt::LeftButton);
    QStringList made = m_engine->operations().mid(before);
    QCOMPARE(made, operations);
    const Setup::DesktopLaunchMode gateway = Setup::DesktopLaunchMode::Gateway;
    if (row < 2)
        QCOMPARE(m_engine->calls.last().mode, std::optional(gateway));

    // While the launch runs every row's launch and terminal buttons wait.
    for (int i = 0; i < 3; ++i) {
        QVERIFY(!rowButton(*view, i, "launchApp")->isEnabled());
        QVERIFY(!rowButton(*view, i, "openInTerminal")->isEnabled());
    }
    const QString operation = operations.last();
    if (error.isEmpty())
        QVERIFY(m_engine->succeed(operation));
    else
        QVERIFY(m_engine->fail(operation, Setup::SetupError::exitedWithStatus(1, failure)));
    for (int i = 0; i < 3; ++i)
        QVERIFY(rowButton(*view, i, "launchApp")->isEnabled());
    auto *line = view->findChild<QLabel *>(u"error"_s);
    QCOMPARE(line->isVisible(), !error.isEmpty());
    QCOMPARE(line->text(), error);

    // The line stays while the next attempt runs and goes when it succeeds.
    if (!error.isEmpty()) {
        QTest::mouseClick(rowButton(*view, row, "launchApp"), Qt::LeftButton);
        QVERIFY(line->isVisible());
        QVERIFY(m_engine->succeed(operation));
        QVERIFY(!line->isVisible());
    }
}

void TestLauncherFlow::updateAndUninstall_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QString>("operation"); // "" when nothing runs
    QTest::addColumn<Screen>("after");

    QTest::newRow("update") << "update" << false << "runUpdate" << Screen::Launched;
    QTest::newRow("uninstall") << "uninstall" << true << "runUninstall" << Screen::Welcome;
    QTest::newRow("uninstall cancelled") << "uninstall" << false << "" << Screen::Launched;
}

void TestLauncherFlow::updateAndUninstall()
{
    QFETCH(QString, button);
    QFETCH(bool, confirm);
    QFETCH(QString, operation);
    QFETCH(Screen, after);
    startReturning({u"codex"_s});
    LaunchedView *view = makeLauncher();
    if (button == u"uninstall"_s)
        m_answers.append(confirm ? MessageBox::Answer::Confirm : MessageBox::Answer::Cancel);
    QTest::mouseClick(view->findChild<Design::FlatButton *>(button), Qt::LeftButton);
    if (operation.isEmpty()) {
        QCOMPARE(m_controller->screen(), Screen::Launched);
        QVERIFY(m_engine->pending().isEmpty());
        return;
    }
    QCOMPARE(m_controller->screen(), Screen::Installing);
    QVERIFY(m_engine->succeed(operation));
    if (operation == u"runUpdate"_s) {
        QVERIFY(m_engine->releaseVersionInfo({u"1.1.0"_s, u"1.1.0"_s}));
        // A launcher still standing follows the new versions.
        QCOMPARE(view->findChild<QLabel *>(u"version"_s)->text(),
                 u"Orvane 1.1.0 \u00B7 up to date"_s);
        QVERIFY(!view->findChild<Design::FlatButton *>(u"update"_s)->isVisible());
    }
    QCOMPARE(m_controller->screen(), after);
}

QTEST_MAIN(TestLauncherFlow)
#include "tst_launcherflow.moc"

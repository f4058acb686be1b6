// The launcher as a returning user drives it, inside the real window over the real controller:
// what the controller knows shows on the screen, and every button reaches the scripted engine.
// Copy marks, the command card on the test clock, the Claude Desktop notice, the alerts.
#include "WizardFixture.h"

#include "wizard/ui/ClaudeDesktopNotice.h"
#include "wizard/ui/CommandCard.h"
#include "wizard/ui/CopyButton.h"
#include "wizard/ui/LaunchedView.h"

#include <QAbstractScrollArea>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Wizard::LaunchedView;
using Wizard::MessageBox;
using WizardFixture::Host;
using Screen = Host::Screen;

namespace {

const QStringList allThree{u"claude-code"_s, u"codex"_s, u"opencode"_s};

LaunchedView *launcher(Host &host)
{
    return qobject_cast<LaunchedView *>(host.view.currentScreen());
}

} // namespace

class TestLauncher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsTheInstallation();
    void copyMarkAndCommandCard();
    void launchesAndAlerts_data();
    void launchesAndAlerts();
    void realAlertBox_data();
    void realAlertBox();
    void launchesWaitAndFail();
    void keyboard();
};

void TestLauncher::showsTheInstallation()
{
    Host host;
    host.sessionNotice = u"Turn the extension on:\ngnome-extensions enable x@y"_s;
    QVERIFY(host.start(true, {u"opencode"_s, u"claude-code"_s}, {u"1.0.0"_s, u"1.1.0"_s}));
    // The installed tools' rows, in the manifest's order.
    QCOMPARE(launcher(host)->rows(), Wizard::launcherRows({u"orv claude"_s, u"orv opencode"_s}));
    QCOMPARE(host.text(u"version"_s), u"Orvane 1.0.0 \u00B7 update available: 1.1.0"_s);
    // What the session lacks for the pill, its command selectable.
    auto *notice = host.find<QLabel>(u"sessionNotice"_s);
    QVERIFY(notice->isVisible());
    QCOMPARE(notice->text(), host.sessionNotice);
    QVERIFY(notice->textInteractionFlags() & Qt::TextSelectableByMouse);

    // "Update to Orvane 1.1.0" runs the update; the launcher comes back with the new versions.
    host.click(u"update"_s);
    QCOMPARE(host.controller.screen(), Screen::Installing);
    QVERIFY(host.engine.succeed(u"runUpdate"_s));
    QVERIFY(host.engine.releaseVersionInfo({u"1.1.0"_s, u"1.1.0"_s}));
    QCOMPARE(host.text(u"version"_s), u"Orvane 1.1.0 \u00B7 up to date"_s);
    // "Settings" leaves for the questions.
    host.click(u"settings"_s);
    QCOMPARE(host.controller.screen(), Screen::Questions);
}

void TestLauncher::copyMarkAndCommandCard()
{
    Host host;
    QVERIFY(host.start(true, allThree));
    QPointer<LaunchedView> view = launcher(host);
    const auto marks = view->findChildren<Wizard::CopyButton *>();
    QTest::mouseClick(marks[1], Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"orv codex"_s);
    QTest::mouseClick(marks[0], Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"orv claude"_s);
    QCOMPARE(marks[0]->isCopied(), true);
    QCOMPARE(marks[1]->isCopied(), false);

    // The terminal button copies the command and shows it on a card.
    auto *card = view->findChild<Wizard::CommandCard *>();
    QTest::mouseClick(host.rowButton(0, "openInTerminal"), Qt::LeftButton);
    QVERIFY(card->isVisible());
    QCOMPARE(card->command(), u"orv claude"_s);
    host.timers.advance(1500ms);
    QTest::mouseClick(host.rowButton(1, "openInTerminal"), Qt::LeftButton);
    QCOMPARE(card->command(), u"orv codex"_s);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"orv codex"_s);
    QCOMPARE(host.engine.callCount(u"openTerminal"_s), 0);

    // The first click's two seconds end first: its terminal is asked for and the card goes.
    host.timers.advance(499ms);
    QVERIFY(card->isVisible());
    host.timers.advance(1ms);
    QVERIFY(!card->isVisible());
    QCOMPARE(host.engine.callCount(u"openTerminal"_s), 1);

    // The user leaves the launcher: its card timer goes with it, the second terminal's stays.
    host.click(u"settings"_s);
    QTRY_VERIFY(view.isNull());
    QCOMPARE(host.timers.pendingCount(), 1);
    // Once a terminal has opened the window steps aside.
    QVERIFY(host.engine.succeed(u"openTerminal"_s));
    host.timers.advance(200ms);
    QTRY_VERIFY(host.view.isMinimized());
}

void TestLauncher::launchesAndAlerts_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("notice");  // Claude's notice: the button pressed, or "Escape";
                                          // empty: dismissed earlier
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("confirm");    // the answer to the alert through the seam, if asked
    QTest::addColumn<QString>("made");    // the engine's calls after the click

    const char *claude = "isDesktopAppRunning launchClaudeDesktop";
    const char *reClaude = "isDesktopAppRunning terminateDesktopApp launchClaudeDesktop";
    const auto row = [](const char *name, int at, const char *notice, bool running, bool confirm,
                        const char *made) {
        QTest::newRow(name) << at << QString::fromUtf8(notice) << running << confirm
                            << QString::fromUtf8(made);
    };
    // clang-format off
    row("notice: open anyway", 0, "openAnyway", false, true, claude);
    row("notice: cancel", 0, "cancel", false, true, "");
    row("notice: Escape", 0, "Escape", false, true, "");
    row("notice: don't show again, already open", 0, "dontShowAgain", true, true, reClaude);
    row("notice dismissed earlier", 0, "", false, true, claude);
    row("claude open, cancel", 0, "", true, false, "isDesktopAppRunning");
    row("codex closed", 1, "", false, false, "isDesktopAppRunning launchCodexDesktop");
    row("codex open, relaunch", 1, "", true, true, "isDesktopAppRunning terminateDesktopApp launchCodexDesktop");
    row("opencode open: never quit", 2, "", true, true, "isDesktopAppRunning launchOpenCodeDesktop");
    // clang-format on
}

void TestLauncher::launchesAndAlerts()
{
    QFETCH(int, row);
    QFETCH(QString, notice);
    QFETCH(bool, running);
    QFETCH(bool, confirm);
    QFETCH(QString, made);
    Host host;
    host.settings.setValue(LaunchedView::noticeDismissedKey(), notice.isEmpty());
    const Setup::DesktopApp apps[] = {Setup::DesktopApp::Claude, Setup::DesktopApp::Codex,
                                      Setup::DesktopApp::OpenCode};
    if (running)
        host.engine.running.insert(apps[qMax(row, 0)]);
    QVERIFY(host.start(true, allThree));
    if (running)
        host.answers.append(confirm ? MessageBox::Answer::Confirm : MessageBox::Answer::Cancel);
    auto *shown = launcher(host)->findChild<Wizard::ClaudeDesktopNotice *>();
    const qsizetype before = host.engine.calls.size();
    QTest::mouseClick(host.rowButton(row, "launchApp"), Qt::LeftButton);
    if (!notice.isEmpty()) {
        QVERIFY(shown->isVisible());
        // The dark layer takes clicks: the rows beneath cannot be used meanwhile.
        const QPoint terminal = host.rowButton(1, "openInTerminal")->mapTo(&host.view, QPoint(5, 5));
        QTest::mouseClick(host.view.childAt(terminal), Qt::LeftButton);
        QVERIFY(QGuiApplication::clipboard()->text().isEmpty());
        if (notice == u"Escape")
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); // lands on "Open anyway"
        else
            QTest::mouseClick(shown->findChild<Design::FlatButton *>(notice), Qt::LeftButton);
    }
    QCOMPARE(host.engine.operations().mid(before).join(u' '), made);
    QVERIFY(!shown->isVisible());
    if (row < 2 && made.endsWith(u"Desktop"_s))
        QCOMPARE(host.engine.calls.last().mode, std::optional(Setup::DesktopLaunchMode::Gateway));
    // The notice's choice is on disk at once: a new settings object, as after a restart, reads it.
    const bool dismissed = notice.isEmpty() || notice == u"dontShowAgain";
    QCOMPARE(QSettings(host.settings.fileName(), QSettings::IniFormat)
                 .value(LaunchedView::noticeDismissedKey(), false).toBool(), dismissed);
}

void TestLauncher::realAlertBox_data()
{
    QTest::addColumn<bool>("uninstall"); // else a relaunch; a click on either button maps alike
    QTest::newRow("uninstall, Escape") << true;
    QTest::newRow("relaunch confirmed") << false;
}

void TestLauncher::realAlertBox()
{
    QFETCH(bool, uninstall);
    Host host;
    host.engine.running.insert(Setup::DesktopApp::Codex);
    QVERIFY(host.start(true, allThree));
    QTest::mouseClick(uninstall ? host.button(u"uninstall"_s) : host.rowButton(1, "launchApp"),
                      Qt::LeftButton);

    QPointer<QMessageBox> box = launcher(host)->findChild<QMessageBox *>();
    QVERIFY(box && box->isVisible());
    QCOMPARE(box->windowModality(), Qt::WindowModal);
    auto *confirm = box->findChild<QPushButton *>(u"confirm"_s);
    auto *cancel = box->findChild<QPushButton *>(u"cancel"_s);
    QCOMPARE(box->escapeButton(), cancel);
    QCOMPARE(box->windowTitle(), uninstall ? u"Uninstall Orvane?"_s : u"App is already open"_s);
    QCOMPARE(confirm->text(), uninstall ? u"Uninstall"_s : u"Close and relaunch"_s);
    // Return does not uninstall; it does relaunch.
    QCOMPARE(box->defaultButton(), uninstall ? cancel : confirm);
    QCOMPARE(box->buttonRole(confirm), uninstall ? QMessageBox::DestructiveRole : QMessageBox::AcceptRole);
    const qsizetype before = host.engine.calls.size();
    if (uninstall)
        QTest::keyClick(box, Qt::Key_Escape);
    else
        QTest::mouseClick(confirm, Qt::LeftButton);
    QTRY_VERIFY(box.isNull()); // the box goes away with its answer
    const QStringList after = host.engine.operations().mid(before);
    QCOMPARE(after.filter(u"run"_s) + after.filter(u"launch"_s),
             uninstall ? QStringList{} : QStringList{u"launchCodexDesktop"_s});
    if (uninstall) { // nothing is left waiting: a second click asks again, and Uninstall runs
        host.click(u"uninstall"_s);
        box = launcher(host)->findChild<QMessageBox *>();
        QVERIFY(box);
        QTest::mouseClick(box->findChild<QPushButton *>(u"confirm"_s), Qt::LeftButton);
        QCOMPARE(host.engine.pending(), QStringList{u"runUninstall"_s});
        QCOMPARE(host.controller.screen(), Screen::Installing);
    }
}

void TestLauncher::launchesWaitAndFail()
{
    Host host;
    host.settings.setValue(LaunchedView::noticeDismissedKey(), true);
    QVERIFY(host.start(true, allThree));
    LaunchedView *view = launcher(host);
    view->setCommands({u"orv claude"_s, u"orv codex"_s, u"orv opencode"_s,
                       u"orv claude --resume --dangerously-long"_s, u"orv claude -y"_s});
    // More rows than fit: the last ones are reached by scrolling.
    auto *area = view->findChild<QScrollArea *>(u"rowsArea"_s);
    QTRY_VERIFY(area->verticalScrollBar()->maximum() > 0);
    QCOMPARE(area->verticalScrollBar()->value(), 0);
    // The launch button clicked keeps the focus in its row when it is disabled.
    host.rowButton(1, "launchApp")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(host.rowButton(1, "launchApp"), Qt::Key_Space);
    QCOMPARE(host.engine.pending(), QStringList{u"launchCodexDesktop"_s});
    const auto marks = view->findChildren<Wizard::CopyButton *>();
    QCOMPARE(QApplication::focusWidget(), marks.at(1));
    // While it runs every row's launch and terminal buttons wait; the copy marks do not.
    for (int row = 0; row < 5; ++row) {
        QVERIFY(!host.rowButton(row, "openInTerminal")->isEnabled());
        QVERIFY(!host.rowButton(row, "launchApp")->isEnabled());
        QVERIFY(marks.at(row)->isEnabled());
    }
    // A failure shows the installer's last line under the rows, scrolled into view, and frees
    // the buttons; the line goes when an attempt succeeds.
    QVERIFY(host.engine.fail(u"launchCodexDesktop"_s,
                             Setup::SetupError::exitedWithStatus(1, u"starting\nno Codex here\n\n"_s)));
    auto *error = view->findChild<QLabel *>(u"error"_s);
    QVERIFY(error->isVisible());
    QCOMPARE(error->text(), u"no Codex here"_s);
    QTRY_VERIFY(area->viewport()->rect().contains(
        QRect(error->mapTo(area->viewport(), QPoint(0, 0)), error->size())));
    QTest::mouseClick(host.rowButton(2, "launchApp"), Qt::LeftButton);
    QVERIFY(host.engine.succeed(u"launchOpenCodeDesktop"_s));
    QVERIFY(!error->isVisible());
}

void TestLauncher::keyboard()
{
    Host host;
    host.tray = false;
    QVERIFY(host.start(true, allThree));
    // The keyboard starts on the first row's "Launch App"; Backtab goes back over the row.
    QCOMPARE(QApplication::focusWidget(), host.rowButton(0, "launchApp"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), host.rowButton(0, "openInTerminal"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(),
             launcher(host)->findChildren<Wizard::CopyButton *>().first());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), host.button(u"settings"_s));
    // Space on the launch button opens the notice.
    host.rowButton(0, "launchApp")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY(launcher(host)->isClaudeNoticeShown());

    // Inside the notice Tab goes round its three buttons and never reaches the screen beneath.
    QStringList visited;
    for (int i = 0; i < 4; ++i) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(visited, (QStringList{u"openAnyway"_s, u"cancel"_s, u"dontShowAgain"_s, u"openAnyway"_s}));
    // Focus is on "Cancel" now; Backtab goes back, and from the first button round to the last.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget()->objectName(), u"dontShowAgain"_s);
    // Return presses the focused button, as Space does.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(host.engine.callCount(u"launchClaudeDesktop"_s), 1);
    QVERIFY(!launcher(host)->isClaudeNoticeShown());
    // Round the screen, the scroll area around the rows is never a stop of its own.
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(!qobject_cast<QAbstractScrollArea *>(QApplication::focusWidget()));
    }
    // Without a tray icon to quit from, the launcher offers "Quit".
    QVERIFY(host.button(u"quit"_s)->isVisible());
    QSignalSpy quits(&host.view, &Wizard::RootView::quitRequested);
    host.click(u"quit"_s);
    QCOMPARE(quits.size(), 1);
}

QTEST_MAIN(TestLauncher)
#include "tst_launcher.moc"

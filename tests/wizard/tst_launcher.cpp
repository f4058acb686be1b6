// The launcher screen as a user drives it: rows from the router commands, the version line, copy
// marks, the command card on the test clock, the Claude Desktop notice and the two alerts.
#include "WizardFixture.h"

#include "design/Design.h"
#include "design/FlatButton.h"
#include "wizard/ui/ClaudeDesktopNotice.h"
#include "wizard/ui/CommandCard.h"
#include "wizard/ui/CopyButton.h"
#include "wizard/ui/LaunchedView.h"
#include "wizard/ui/LauncherRowView.h"
#include "wizard/ui/MessageBox.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <set>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Wizard::LaunchedView;
using Wizard::MessageBox;
using WizardFixture::rowButton;

namespace {

const QStringList allThree{QStringLiteral("orv claude"), QStringLiteral("orv codex"),
                           QStringLiteral("orv opencode")};

} // namespace

class TestLauncher : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void rows_data();
    void rows();
    void versionLine_data();
    void versionLine();
    void copyMark();
    void commandCard();
    void claudeNotice_data();
    void claudeNotice();
    void alreadyOpenAlert_data();
    void alreadyOpenAlert();
    void uninstallAlert_data();
    void uninstallAlert();
    void realAlertBox_data();
    void realAlertBox();
    void busy();
    void errorLine();
    void moreRowsThanFit();
    void keyboard();
    void quitWithoutATray_data();
    void quitWithoutATray();

private:
    // A launcher over the three commands, shown, with its own settings file and test clock.
    std::unique_ptr<LaunchedView> makeView(const QStringList &commands = allThree,
                                           std::function<bool()> hasTray = {});
    QSettings &settings() { return *m_settings; }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QSettings> m_settings;
    QList<MessageBox::Answer> m_answers; // the next alerts' answers
    ManualClock m_clock;
    std::unique_ptr<ManualTimers> m_timers;
    std::set<Setup::DesktopApp> m_running;
    QString m_sessionNotice;
};

void TestLauncher::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = std::make_unique<QSettings>(m_dir->filePath(QStringLiteral("orvane.conf")),
                                             QSettings::IniFormat);
    m_timers = std::make_unique<ManualTimers>(m_clock);
    m_running.clear();
    QGuiApplication::clipboard()->clear();
}

void TestLauncher::cleanup()
{
    // An answer set for an alert that never came is a test of its own failing.
    QVERIFY2(m_answers.isEmpty(), "an alert answer was left unused");
}

std::unique_ptr<LaunchedView> TestLauncher::makeView(const QStringList &commands,
                                                     std::function<bool()> hasTray)
{
    Wizard::LauncherServices services;
    services.hasTray = std::move(hasTray);
    services.clipboard = QGuiApplication::clipboard();
    services.settings = m_settings.get();
    services.timers = m_timers.get();
    services.ask = WizardFixture::answerFrom(m_answers);
    services.isDesktopAppRunning = [this](Setup::DesktopApp app) { return m_running.contains(app); };
    services.sessionNotice = [this] { return m_sessionNotice; };
    auto view = std::make_unique<LaunchedView>(services);
    view->setCommands(commands);
    view->setVersionInfo({QStringLiteral("1.2.0"), QStringLiteral("1.2.0")});
    view->resize(720, 560);
    view->show();
    return view;
}

void TestLauncher::rows_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QStringList>("rows"); // "code/name/command" of each row shown

    // Comma-separated; empty entries are kept.
    const auto list = [](const char *text) {
        return *text ? QString::fromUtf8(text).split(u',') : QStringList();
    };
    const auto row = [&](const char *name, const char *commands, const char *rows) {
        QTest::newRow(name) << list(commands) << list(rows);
    };
    // clang-format off
    row("three tools", "orv claude,orv codex,orv opencode", "CC/Claude Code/orv claude,CX/Codex/orv codex,OC/OpenCode/orv opencode");
    row("no second word", "orv,orv ,,orv codex", "CX/Codex/orv codex");
    row("capitals and unknown words", "orv Claude,orv CODEX,orv gemini,orv opencode", "OC/OpenCode/orv opencode");
    row("same agent twice, spaces kept in the command", "orv claude,  orv   claude --resume ", "CC/Claude Code/orv claude,CC/Claude Code/  orv   claude --resume ");
    row("third word ignored", "orv codex claude", "CX/Codex/orv codex claude");
    row("empty", "", "");
    // clang-format on
}

void TestLauncher::rows()
{
    QFETCH(QStringList, commands);
    auto view = makeView(commands);
    QStringList rows;
    for (const auto *row : view->findChildren<Wizard::LauncherRowView *>()) {
        QVERIFY(row->isVisible());
        rows << row->findChild<QLabel *>(u"code"_s)->text() + u'/' +
                    row->findChild<QLabel *>(u"name"_s)->text() + u'/' +
                    row->findChild<Wizard::CopyButton *>()->text();
    }
    QTEST(rows, "rows");
    // The heading and its rule stand whatever the rows are.
    QVERIFY(view->findChild<QLabel *>(QStringLiteral("heading"))->isVisible());

    // New commands replace the rows rather than adding to them.
    view->setCommands({QStringLiteral("orv codex")});
    QCOMPARE(view->findChildren<Wizard::LauncherRowView *>().size(), 1);
}

void TestLauncher::versionLine_data()
{
    QTest::addColumn<QString>("installed"); // "-" for unknown
    QTest::addColumn<QString>("latest");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("update"); // empty: no update button

    const auto row = [](const char *name, const char *installed, const char *latest,
                        const char *line, const char *update = "") {
        QTest::newRow(name) << QString::fromUtf8(installed) << QString::fromUtf8(latest)
                            << QString::fromUtf8(line) << QString::fromUtf8(update);
    };
    // clang-format off
    row("update available", "1.2.0", "1.10.0", "Orvane 1.2.0 \u00B7 update available: 1.10.0", "Update to Orvane 1.10.0");
    row("up to date", "1.2.0", "1.2.0", "Orvane 1.2.0 \u00B7 up to date");
    row("installed newer than the registry", "2.0.0", "1.9.9", "Orvane 2.0.0 \u00B7 up to date");
    row("latest unknown", "1.2.0", "-", "Orvane 1.2.0");
    row("installed unknown", "-", "3.0.0", "Orvane \u00B7 checking for updates");
    row("both unknown", "-", "-", "Orvane \u00B7 checking for updates");
    // clang-format on
}

void TestLauncher::versionLine()
{
    QFETCH(QString, installed);
    QFETCH(QString, latest);
    QFETCH(QString, line);
    QFETCH(QString, update);
    auto view = makeView();
    const auto known = [](const QString &v) {
        return v == QLatin1String("-") ? std::nullopt : std::optional<QString>(v);
    };
    view->setVersionInfo({known(installed), known(latest)});
    QCOMPARE(view->findChild<QLabel *>(QStringLiteral("version"))->text(), line);
    auto *button = view->findChild<Design::FlatButton *>(QStringLiteral("update"));
    QCOMPARE(button->isVisible(), !update.isEmpty());
    if (update.isEmpty())
        return;
    QCOMPARE(button->text(), update);
    QSignalSpy updates(view.get(), &LaunchedView::updateRequested);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(updates.size(), 1);
}

void TestLauncher::copyMark()
{
    auto view = makeView({QStringLiteral("orv claude"), QStringLiteral("orv codex"),
                          QStringLiteral("orv claude")});
    const auto marks = view->findChildren<Wizard::CopyButton *>();
    QCOMPARE(marks.size(), 3);
    for (auto *mark : marks)
        QVERIFY(!mark->isCopied());

    QTest::mouseClick(marks[1], Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("orv codex"));
    QCOMPARE(view->copiedCommand(), std::optional<QString>(QStringLiteral("orv codex")));
    QCOMPARE(marks[0]->isCopied(), false);
    QCOMPARE(marks[1]->isCopied(), true);

    // Copying another command moves the check; rows with the same command share it.
    QTest::mouseClick(marks[0], Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("orv claude"));
    QCOMPARE(marks[0]->isCopied(), true);
    QCOMPARE(marks[1]->isCopied(), false);
    QCOMPARE(marks[2]->isCopied(), true);

    // The check is drawn: the copied mark's pixels differ from the copy mark's.
    QImage copied(marks[0]->size(), QImage::Format_ARGB32);
    copied.fill(Qt::transparent);
    marks[0]->render(&copied);
    QImage plain(marks[1]->size(), QImage::Format_ARGB32);
    plain.fill(Qt::transparent);
    marks[1]->render(&plain);
    const int markX = marks[0]->width() - 14;
    QVERIFY(copied.copy(markX, 0, 14, copied.height()) != plain.copy(markX, 0, 14, plain.height()));
}

void TestLauncher::commandCard()
{
    auto view = makeView();
    QSignalSpy terminals(view.get(), &LaunchedView::terminalRequested);
    auto *card = view->findChild<Wizard::CommandCard *>();
    QVERIFY(!card->isVisible());

    QTest::mouseClick(rowButton(*view, 0, "openInTerminal"), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("orv claude"));
    QVERIFY(card->isVisible());
    QCOMPARE(card->command(), QStringLiteral("orv claude"));
    QCOMPARE(terminals.size(), 1);
    QCOMPARE(terminals[0][0].toString(), QStringLiteral("orv claude"));
    // Centred over the screen and no wider than 320 points.
    QVERIFY(card->width() <= 320);
    QVERIFY(qAbs(card->geometry().center().x() - view->rect().center().x()) <= 1);
    QVERIFY(qAbs(card->geometry().center().y() - view->rect().center().y()) <= 1);

    m_timers->advance(1500ms);
    QVERIFY(card->isVisible());
    QTest::mouseClick(rowButton(*view, 1, "openInTerminal"), Qt::LeftButton);
    QCOMPARE(card->command(), QStringLiteral("orv codex"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("orv codex"));
    QCOMPARE(terminals.size(), 2);
    QCOMPARE(terminals[1][0].toString(), QStringLiteral("orv codex"));

    // The first click's two seconds end first and take the card away.
    m_timers->advance(499ms);
    QVERIFY(card->isVisible());
    m_timers->advance(1ms);
    QVERIFY(!card->isVisible());
    QCOMPARE(view->terminalCommandNotice(), std::nullopt);
    QCOMPARE(m_timers->pendingCount(), 1);
    m_timers->advance(2s);
    QCOMPARE(m_timers->pendingCount(), 0);
    QVERIFY(!card->isVisible());

    // A screen that goes away takes its card timers with it.
    QTest::mouseClick(rowButton(*view, 2, "openInTerminal"), Qt::LeftButton);
    QCOMPARE(m_timers->pendingCount(), 1);
    view.reset();
    m_timers->advance(3s);
    QCOMPARE(m_timers->pendingCount(), 0);
}

void TestLauncher::claudeNotice_data()
{
    QTest::addColumn<bool>("dismissedBefore");
    QTest::addColumn<QString>("answer"); // the notice's button, or "Escape"
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("launches");  // claudeLaunchRequested emitted
    QTest::addColumn<bool>("dismissedAfter");

    QTest::newRow("open anyway") << false << "openAnyway" << false << 1 << false;
    QTest::newRow("open anyway, already open") << false << "openAnyway" << true << 1 << false;
    QTest::newRow("cancel") << false << "cancel" << false << 0 << false;
    QTest::newRow("Escape") << false << "Escape" << false << 0 << false;
    QTest::newRow("don't show again") << false << "dontShowAgain" << false << 1 << true;
    QTest::newRow("don't show again, already open") << false << "dontShowAgain" << true << 1
                                                    << true;
    QTest::newRow("dismissed earlier") << true << "" << false << 1 << true;
    QTest::newRow("dismissed earlier, already open") << true << "" << true << 1 << true;
}

void TestLauncher::claudeNotice()
{
    QFETCH(bool, dismissedBefore);
    QFETCH(QString, answer);
    QFETCH(bool, running);
    QFETCH(int, launches);
    QFETCH(bool, dismissedAfter);
    if (dismissedBefore)
        settings().setValue(LaunchedView::noticeDismissedKey(), true);
    if (running)
        m_running.insert(Setup::DesktopApp::Claude);
    auto view = makeView();
    QSignalSpy claude(view.get(), &LaunchedView::claudeLaunchRequested);
    auto *notice = view->findChild<Wizard::ClaudeDesktopNotice *>();

    // The relaunch alert, when the app is open, is confirmed through the seam.
    if (running && launches > 0)
        m_answers.append(MessageBox::Answer::Confirm);
    QTest::mouseClick(rowButton(*view, 0, "launchApp"), Qt::LeftButton);
    if (!dismissedBefore) {
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->geometry(), view->rect());
        QCOMPARE(claude.size(), 0);
        // The dark layer takes clicks: the rows beneath cannot be used meanwhile.
        QSignalSpy terminals(view.get(), &LaunchedView::terminalRequested);
        const QPoint terminal = rowButton(*view, 1, "openInTerminal")->mapTo(view.get(), QPoint(5, 5));
        QTest::mouseClick(view->childAt(terminal), Qt::LeftButton);
        QCOMPARE(terminals.size(), 0);
        if (answer == QLatin1String("Escape"))
            QTest::keyClick(view->focusWidget(), Qt::Key_Escape); // lands on "Open anyway"
        else
            QTest::mouseClick(notice->findChild<Design::FlatButton *>(answer), Qt::LeftButton);
    }
    QVERIFY(!notice->isVisible());
    QCOMPARE(claude.size(), launches);
    if (launches)
        QCOMPARE(claude[0][0].toBool(), running);

    // The choice is on disk at once: a new settings object, as after a restart, reads it.
    QSettings reread(settings().fileName(), QSettings::IniFormat);
    QCOMPARE(reread.value(LaunchedView::noticeDismissedKey(), false).toBool(), dismissedAfter);

    // A fresh screen asks again unless the notice was dismissed for good.
    m_running.clear();
    auto again = makeView();
    QTest::mouseClick(rowButton(*again, 0, "launchApp"), Qt::LeftButton);
    QCOMPARE(again->findChild<Wizard::ClaudeDesktopNotice *>()->isVisible(), !dismissedAfter);
}

void TestLauncher::alreadyOpenAlert_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<Setup::DesktopApp>("app");
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QString>("expected"); // "claude(true)", "codex(false)", "opencode", ""

    QTest::newRow("codex closed") << 1 << Setup::DesktopApp::Codex << false << false << "codex(false)";
    QTest::newRow("codex open, relaunch") << 1 << Setup::DesktopApp::Codex << true << true
                                          << "codex(true)";
    QTest::newRow("codex open, cancel") << 1 << Setup::DesktopApp::Codex << true << false << "";
    QTest::newRow("opencode closed") << 2 << Setup::DesktopApp::OpenCode << false << false << "opencode";
    QTest::newRow("opencode open, relaunch") << 2 << Setup::DesktopApp::OpenCode << true << true
                                             << "opencode";
    QTest::newRow("opencode open, cancel") << 2 << Setup::DesktopApp::OpenCode << true << false << "";
    QTest::newRow("claude open, relaunch") << 0 << Setup::DesktopApp::Claude << true << true
                                           << "claude(true)";
    QTest::newRow("claude open, cancel") << 0 << Setup::DesktopApp::Claude << true << false << "";
}

void TestLauncher::alreadyOpenAlert()
{
    QFETCH(int, row);
    QFETCH(Setup::DesktopApp, app);
    QFETCH(bool, running);
    QFETCH(bool, confirm);
    QFETCH(QString, expected);
    settings().setValue(LaunchedView::noticeDismissedKey(), true);
    if (running)
        m_running.insert(app);
    auto view = makeView();
    QStringList calls;
    connect(view.get(), &LaunchedView::claudeLaunchRequested, this,
            [&calls](bool relaunch) { calls << QStringLiteral("claude(%1)").arg(relaunch ? u"true"_s : u"false"_s); });
    connect(view.get(), &LaunchedView::codexLaunchRequested, this,
            [&calls](bool relaunch) { calls << QStringLiteral("codex(%1)").arg(relaunch ? u"true"_s : u"false"_s); });
    connect(view.get(), &LaunchedView::openCodeLaunchRequested, this,
            [&calls] { calls << QStringLiteral("opencode"); });

    if (running)
        m_answers.append(confirm ? MessageBox::Answer::Confirm : MessageBox::Answer::Cancel);
    QTest::mouseClick(rowButton(*view, row, "launchApp"), Qt::LeftButton);
    QCOMPARE(calls, expected.isEmpty() ? QStringList{} : QStringList{expected});

    // A cancelled launch is forgotten: once the app has closed, the next click launches it
    // without asking, and only once.
    m_running.clear();
    calls.clear();
    QTest::mouseClick(rowButton(*view, row, "launchApp"), Qt::LeftButton);
    QCOMPARE(calls.size(), 1);
    QVERIFY(!calls[0].contains(QLatin1String("true")));
}

void TestLauncher::uninstallAlert_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("uninstall") << true;
    QTest::newRow("cancel") << false;
}

void TestLauncher::uninstallAlert()
{
    QFETCH(bool, confirm);
    auto view = makeView();
    QSignalSpy uninstalls(view.get(), &LaunchedView::uninstallRequested);
    m_answers.append(confirm ? MessageBox::Answer::Confirm : MessageBox::Answer::Cancel);
    QTest::mouseClick(view->findChild<Design::FlatButton *>(QStringLiteral("uninstall")), Qt::LeftButton);
    QCOMPARE(uninstalls.size(), confirm ? 1 : 0);
    // Nothing is left waiting: a second click asks again.
    m_answers.append(MessageBox::Answer::Confirm);
    QTest::mouseClick(view->findChild<Design::FlatButton *>(QStringLiteral("uninstall")), Qt::LeftButton);
    QCOMPARE(uninstalls.size(), confirm ? 2 : 1);
}

void TestLauncher::realAlertBox_data()
{
    QTest::addColumn<QString>("which");   // "uninstall" or "relaunch"
    QTest::addColumn<QString>("respond"); // "confirm", "cancel", "Escape"
    QTest::addColumn<int>("actions");

    QTest::newRow("uninstall confirmed") << "uninstall" << "confirm" << 1;
    QTest::newRow("uninstall cancelled") << "uninstall" << "cancel" << 0;
    QTest::newRow("uninstall, Escape") << "uninstall" << "Escape" << 0;
    QTest::newRow("relaunch confirmed") << "relaunch" << "confirm" << 1;
    QTest::newRow("relaunch, Escape") << "relaunch" << "Escape" << 0;
}

void TestLauncher::realAlertBox()
{
    QFETCH(QString, which);
    QFETCH(QString, respond);
    QFETCH(int, actions);
    settings().setValue(LaunchedView::noticeDismissedKey(), true);
    m_running.insert(Setup::DesktopApp::Codex);
    auto view = makeView();
    QSignalSpy uninstalls(view.get(), &LaunchedView::uninstallRequested);
    QSignalSpy codex(view.get(), &LaunchedView::codexLaunchRequested);
    const bool uninstall = which == QLatin1String("uninstall");
    QTest::mouseClick(uninstall ? view->findChild<Design::FlatButton *>(QStringLiteral("uninstall"))
                                : rowButton(*view, 1, "launchApp"),
                      Qt::LeftButton);

    QMessageBox *box = view->findChild<QMessageBox *>();
    QVERIFY(box);
    QVERIFY(box->isVisible());
    QCOMPARE(box->windowModality(), Qt::WindowModal);
    auto *confirm = box->findChild<QPushButton *>(QStringLiteral("confirm"));
    auto *cancel = box->findChild<QPushButton *>(QStringLiteral("cancel"));
    QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
    QCOMPARE(box->buttonRole(cancel), QMessageBox::RejectRole);
    QCOMPARE(box->escapeButton(), cancel);
    if (uninstall) {
        QCOMPARE(box->windowTitle(), QStringLiteral("Uninstall Orvane?"));
        QCOMPARE(box->informativeText(),
                 QStringLiteral("This removes Orvane's integrations from the selected tools. "
                                "Your original settings will be restored where possible."));
        QCOMPARE(confirm->text(), QStringLiteral("Uninstall"));
        QCOMPARE(box->buttonRole(confirm), QMessageBox::DestructiveRole);
        QCOMPARE(box->defaultButton(), cancel); // Return does not uninstall
    } else {
        QCOMPARE(box->windowTitle(), QStringLiteral("App is already open"));
        QCOMPARE(box->informativeText(),
                 QStringLiteral(
                     "Close the app first if you want Orvane to relaunch it in Gateway mode."));
        QCOMPARE(confirm->text(), QStringLiteral("Close and relaunch"));
        QCOMPARE(box->defaultButton(), confirm);
    }
    QCOMPARE(uninstalls.size() + codex.size(), 0); // nothing happens before the answer

    QPointer<QMessageBox> alive(box);
    if (respond == QLatin1String("Escape"))
        QTest::keyClick(box, Qt::Key_Escape);
    else
        QTest::mouseClick(respond == QLatin1String("confirm") ? confirm : cancel, Qt::LeftButton);
    QTRY_VERIFY(alive.isNull()); // the box goes away with its answer
    QCOMPARE(uninstalls.size() + codex.size(), actions);
    if (!uninstall && actions)
        QCOMPARE(codex[0][0].toBool(), true);
}

void TestLauncher::busy()
{
    settings().setValue(LaunchedView::noticeDismissedKey(), true);
    auto view = makeView();
    view->setVersionInfo({QStringLiteral("1.0.0"), QStringLiteral("1.1.0")});
    QVERIFY(QTest::qWaitForWindowActive(view.get()));
    // The launch button clicked keeps the focus in its row when it is disabled.
    rowButton(*view, 1, "launchApp")->setFocus(Qt::TabFocusReason);
    view->setBusy(true);
    QCOMPARE(QApplication::focusWidget(), view->findChildren<Wizard::CopyButton *>().at(1));
    for (int row = 0; row < 3; ++row) {
        QVERIFY(!rowButton(*view, row, "openInTerminal")->isEnabled());
        QVERIFY(!rowButton(*view, row, "launchApp")->isEnabled());
    }
    for (const char *name : {"settings", "update", "uninstall"})
        QVERIFY2(view->findChild<Design::FlatButton *>(QLatin1String(name))->isEnabled(), name);
    const auto marks = view->findChildren<Wizard::CopyButton *>();
    for (auto *mark : marks)
        QVERIFY(mark->isEnabled());

    QSignalSpy claude(view.get(), &LaunchedView::claudeLaunchRequested);
    QSignalSpy terminals(view.get(), &LaunchedView::terminalRequested);
    QSignalSpy settingsClicks(view.get(), &LaunchedView::settingsRequested);
    QTest::mouseClick(rowButton(*view, 0, "launchApp"), Qt::LeftButton);
    QTest::mouseClick(rowButton(*view, 0, "openInTerminal"), Qt::LeftButton);
    QTest::mouseClick(marks[2], Qt::LeftButton);
    QTest::mouseClick(view->findChild<Design::FlatButton *>(QStringLiteral("settings")), Qt::LeftButton);
    QCOMPARE(claude.size() + terminals.size(), 0);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("orv opencode"));
    QCOMPARE(settingsClicks.size(), 1);

    // Rows built while busy start disabled; the end of the launch frees them all.
    view->setCommands(allThree);
    QVERIFY(!rowButton(*view, 1, "launchApp")->isEnabled());
    view->setBusy(false);
    QTest::mouseClick(rowButton(*view, 0, "launchApp"), Qt::LeftButton);
    QCOMPARE(claude.size(), 1);
}

void TestLauncher::errorLine()
{
    auto view = makeView();
    auto *error = view->findChild<QLabel *>(QStringLiteral("error"));
    QVERIFY(!error->isVisible());
    const QString text = QStringLiteral("Terminal couldn\u2019t be opened.");
    view->setErrorText(text);
    QVERIFY(error->isVisible());
    QCOMPARE(error->text(), text);
    QCOMPARE(error->palette().color(QPalette::WindowText), Design::red());
    QCOMPARE(error->font().pixelSize(), 12);
    // Under the rows.
    const auto rows = view->findChildren<Wizard::LauncherRowView *>();
    QVERIFY(error->geometry().top() >= rows.last()->geometry().bottom());
    view->setErrorText({});
    QVERIFY(!error->isVisible());
    auto *notice = view->findChild<QLabel *>(QStringLiteral("sessionNotice"));
    QVERIFY(!notice->isVisible());

    // What the session lacks for the pill, below the rows, its command selectable.
    m_sessionNotice = QStringLiteral("Turn the extension on:\ngnome-extensions enable x@y");
    view = makeView();
    notice = view->findChild<QLabel *>(QStringLiteral("sessionNotice"));
    QVERIFY(notice->isVisible());
    QCOMPARE(notice->text(), m_sessionNotice);
    QVERIFY(notice->textInteractionFlags() & Qt::TextSelectableByMouse);
    const auto newRows = view->findChildren<Wizard::LauncherRowView *>();
    QVERIFY(notice->geometry().top() >= newRows.last()->geometry().bottom());
    m_sessionNotice.clear();
}

void TestLauncher::moreRowsThanFit()
{
    auto view = makeView(allThree + QStringList{u"orv claude --resume --dangerously-long"_s,
                                                u"orv claude -y"_s});
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    const auto rows = view->findChildren<Wizard::LauncherRowView *>();
    QCOMPARE(rows.size(), 5);
    for (auto *row : rows) {
        // Rows are not squeezed, and a long command does not push the buttons out of the window.
        QCOMPARE(row->height(), row->sizeHint().height());
        // The scroll bar's room does not come off the rows: they end under the heading's rule.
        QCOMPARE(row->mapTo(view.get(), QPoint(row->width(), 0)).x(), 720 - 44);
        auto *launch = row->findChild<Design::FlatButton *>(u"launchApp"_s);
        QCOMPARE(launch->size(), QSize(182, 46));
        QVERIFY(launch->mapTo(view.get(), QPoint(launch->width(), 0)).x() <= 720 - 40);
        QVERIFY(row->findChild<Wizard::CopyButton *>()->width() > 0);
    }
    // A command the row has room for is not cut.
    auto *fits = rows.last()->findChild<Wizard::CopyButton *>();
    QCOMPARE(fits->width(), fits->sizeHint().width());
    // The last row is reached by scrolling; an error brings the line under the rows into view.
    auto *area = view->findChild<QScrollArea *>(u"rowsArea"_s);
    QVERIFY(area->verticalScrollBar()->maximum() > 0);
    QCOMPARE(area->verticalScrollBar()->value(), 0);
    view->setErrorText(u"OpenCode couldn't be launched. You can try again."_s);
    auto *error = view->findChild<QLabel *>(u"error"_s);
    QTRY_VERIFY(area->viewport()->rect().contains(
        QRect(error->mapTo(area->viewport(), QPoint(0, 0)), error->size())));
}

void TestLauncher::keyboard()
{
    auto view = makeView();
    QVERIFY(QTest::qWaitForWindowActive(view.get()));
    auto *settingsButton = view->findChild<Design::FlatButton *>(QStringLiteral("settings"));
    settingsButton->setFocus(Qt::TabFocusReason);
    // Tab goes from Settings to the first row's copy mark; Space copies.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    auto *firstMark = view->findChildren<Wizard::CopyButton *>().first();
    QCOMPARE(QApplication::focusWidget(), firstMark);
    QTest::keyClick(firstMark, Qt::Key_Space);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("orv claude"));
    // Then the row's terminal and launch buttons; Space on the launch button opens the notice.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), rowButton(*view, 0, "openInTerminal"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), rowButton(*view, 0, "launchApp"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    auto *notice = view->findChild<Wizard::ClaudeDesktopNotice *>();
    QVERIFY(notice->isVisible());

    // Inside the notice Tab goes round its three buttons and never reaches the screen beneath.
    QStringList visited;
    for (int i = 0; i < 4; ++i) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(visited, (QStringList{u"openAnyway"_s, u"cancel"_s, u"dontShowAgain"_s, u"openAnyway"_s}));
    // Focus is on "Cancel" now; Backtab goes back, and from the first button round to the last.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("openAnyway"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("dontShowAgain"));
    QSignalSpy claude(view.get(), &LaunchedView::claudeLaunchRequested);
    // Return presses the focused button, as Space does.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(claude.size(), 1);
    QVERIFY(!notice->isVisible());
    QCOMPARE(settings().value(LaunchedView::noticeDismissedKey()).toBool(), true);
    // Round the screen, the scroll area around the rows is never a stop of its own.
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(!qobject_cast<QAbstractScrollArea *>(QApplication::focusWidget()));
    }
}

void TestLauncher::quitWithoutATray_data()
{
    QTest::addColumn<int>("tray"); // -1: nobody says, 0: none, 1: shown
    QTest::addColumn<bool>("offered");

    QTest::newRow("not said") << -1 << false;
    QTest::newRow("a tray icon") << 1 << false;
    QTest::newRow("no tray") << 0 << true;
}

void TestLauncher::quitWithoutATray()
{
    QFETCH(int, tray);
    QFETCH(bool, offered);
    auto view = makeView(allThree, tray < 0 ? std::function<bool()>() : [tray] { return tray == 1; });
    auto *quit = view->findChild<Design::FlatButton *>(u"quit"_s);
    QCOMPARE(quit->isVisible(), offered);
    if (!offered)
        return;
    QSignalSpy quits(view.get(), &LaunchedView::quitRequested);
    QTest::mouseClick(quit, Qt::LeftButton);
    QCOMPARE(quits.size(), 1);
}

QTEST_MAIN(TestLauncher)
#include "tst_launcher.moc"

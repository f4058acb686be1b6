// The status screens inside the real RootView: the start-up check, Node.js missing and its
// recheck line, progress, completion and failure with the installer's last line.

#include "WizardFixture.h"

#include "design/FlatButton.h"
#include "wizard/ui/CrossFade.h"
#include "wizard/ui/FieldRow.h"
#include "wizard/ui/ProgressScreen.h"
#include "wizard/ui/SymbolView.h"

#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using WizardFixture::Host;
using Screen = Wizard::WizardController::Screen;

namespace {

QString labelText(Host &host, const QString &name)
{
    auto *label = host.find<QLabel>(name);
    return label ? label->text() : u"<missing>"_s;
}

// From welcome through the questions with the defaults to the installer.
bool install(Host &host)
{
    QTest::mouseClick(host.find<Design::FlatButton>(u"getStarted"_s), Qt::LeftButton);
    for (int i = 0; i < 2; ++i)
        QTest::mouseClick(host.find<Design::FlatButton>(u"primary"_s), Qt::LeftButton);
    auto *fields = host.find<QWidget>(u"fields-openai"_s);
    if (!fields)
        return false;
    QTest::keyClicks(fields->findChild<Wizard::FieldRow *>()->edit(), u"sk-1"_s);
    QTest::keyClick(host.view.currentScreen(), Qt::Key_Return);
    return host.controller.screen() == Screen::Installing;
}

// Receives what QDesktopServices::openUrl would give the desktop.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url); }
};

} // namespace

class TestStatusScreens : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startUpCheckShowsProgress();
    void recheckLineStaysBlankUntilFirstRecheck();
    void installOutcome_data();
    void installOutcome();
    void openedTerminalMinimisesTheWindow();
};

void TestStatusScreens::startUpCheckShowsProgress()
{
    Host host;
    host.view.show();
    QVERIFY(QTest::qWaitForWindowActive(&host.view));
    // Showing the view started the check; its screen stays until both answers are in.
    QVERIFY(host.engine.isPending(u"nodeVersion"_s));
    QVERIFY(qobject_cast<Wizard::ProgressScreen *>(host.view.currentScreen()));
    QCOMPARE(labelText(host, u"status"_s), u"Checking for the latest setup\u2026"_s);
    QCOMPARE(labelText(host, u"hint"_s),
             u"A browser window may open to sign in \u2014 approve there and this will continue."_s);
    QVERIFY(host.engine.releaseNodeVersion(u"v22.1.0"_s));
    QCOMPARE(host.controller.screen(), Screen::Loading);
    QVERIFY(host.engine.releaseVersionInfo({}));
    QCOMPARE(host.controller.screen(), Screen::Welcome);
    QCOMPARE(host.view.currentScreen()->objectName(), u"welcomeScreen"_s);
    // The progress screen fades out over welcome, then the fade removes itself.
    auto *fade = host.view.findChild<Wizard::CrossFade *>();
    QVERIFY(fade);
    QCOMPARE(fade->geometry(), host.view.rect());
    QTRY_VERIFY(fade->opacity() < 1.0);
    QTRY_VERIFY_WITH_TIMEOUT(!host.view.findChild<Wizard::CrossFade *>(), 2000);
    // Shown again later, the view does not start a second check.
    host.view.hide();
    host.view.show();
    QCOMPARE(host.engine.callCount(u"nodeVersion"_s), 1);
}

void TestStatusScreens::recheckLineStaysBlankUntilFirstRecheck()
{
    Host host;
    QVERIFY(host.start(false));
    QCOMPARE(host.controller.screen(), Screen::NoNode);
    auto *symbol = host.find<Wizard::SymbolView>(u"symbol"_s);
    QVERIFY(symbol && symbol->isVisible() && symbol->width() > 0);
    // A single space keeps the line's height before the first recheck.
    auto *line = host.find<QLabel>(u"recheckLine"_s);
    QCOMPARE(line->text(), u" "_s);
    const int height = line->height();
    QVERIFY(height > 0);

    auto *checkAgain = host.find<QPushButton>(u"checkAgain"_s);
    QTest::mouseClick(checkAgain, Qt::LeftButton);
    // Said at once, while the new check runs; the screen stays.
    QCOMPARE(host.find<QLabel>(u"recheckLine"_s)->text(), u"Still not finding Node.js."_s);
    QCOMPARE(host.find<QLabel>(u"recheckLine"_s)->height(), height);
    QCOMPARE(host.engine.callCount(u"nodeVersion"_s), 2);
    QVERIFY(host.engine.releaseNodeVersion(std::nullopt));
    QVERIFY(host.engine.releaseVersionInfo({}));
    QCOMPARE(host.controller.screen(), Screen::NoNode);
    QCOMPARE(labelText(host, u"recheckLine"_s), u"Still not finding Node.js."_s);

    // "Get Node.js" hands the download page to the desktop (here: to the test's handler).
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(u"https"_s, &catcher, "open");
    QTest::mouseClick(host.find<QPushButton>(u"getNode"_s), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(u"https"_s);
    QCOMPARE(catcher.opened, (QList<QUrl>{QUrl(u"https://nodejs.org/en/download"_s)}));
    QCOMPARE(host.controller.screen(), Screen::NoNode);

    // Node.js installed meanwhile: the next recheck reaches welcome.
    QTest::mouseClick(host.find<QPushButton>(u"checkAgain"_s), Qt::LeftButton);
    QVERIFY(host.engine.releaseNodeVersion(u"v22.1.0"_s));
    QVERIFY(host.engine.releaseVersionInfo({}));
    QCOMPARE(host.controller.screen(), Screen::Welcome);
}

void TestStatusScreens::installOutcome_data()
{
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("shown");

    QTest::newRow("success") << true << QString() << QString();
    QTest::newRow("installer's last line")
        << false << u"npm warn deprecated glob@7\nresolving gateway\nError: gateway refused the key"_s
        << u"Error: gateway refused the key"_s;
}

void TestStatusScreens::installOutcome()
{
    QFETCH(bool, succeeds);
    QFETCH(QString, output);
    QFETCH(QString, shown);

    Host host;
    QVERIFY(host.start());
    QVERIFY(install(host));
    QCOMPARE(labelText(host, u"status"_s), u"Installing\u2026"_s);

    if (succeeds) {
        QVERIFY(host.engine.succeed(u"runInstall"_s));
        QCOMPARE(host.controller.screen(), Screen::Complete);
        QCOMPARE(host.view.currentScreen()->objectName(), u"completionScreen"_s);
        auto *open = host.find<Design::FlatButton>(u"openLauncher"_s);
        QVERIFY(open);
        QCOMPARE(open->size(), QSize(205, 62));
        QCOMPARE(open->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseClick(open, Qt::LeftButton);
        QCOMPARE(host.controller.screen(), Screen::Launched);
        QCOMPARE(host.view.currentScreen()->objectName(), u"launcherScreen"_s);
        return;
    }

    QVERIFY(host.engine.fail(u"runInstall"_s, Setup::SetupError::exitedWithStatus(1, output)));
    QCOMPARE(host.controller.screen(), Screen::Failed);
    QCOMPARE(labelText(host, u"error"_s), shown);
    auto *symbol = host.find<Wizard::SymbolView>(u"symbol"_s);
    QVERIFY(symbol && symbol->symbol() == Wizard::SymbolView::Symbol::XmarkCircle);

    // "Try again" always goes back to welcome, and welcome starts afresh.
    QTest::mouseClick(host.find<QPushButton>(u"tryAgain"_s), Qt::LeftButton);
    QCOMPARE(host.controller.screen(), Screen::Welcome);
    QVERIFY(install(host));
    QCOMPARE(host.engine.callCount(u"runInstall"_s), 2);
}

void TestStatusScreens::openedTerminalMinimisesTheWindow()
{
    Host host;
    QVERIFY(host.start());
    host.controller.launchTerminal();
    QVERIFY(host.engine.succeed(u"openTerminal"_s));
    QVERIFY(!host.view.isMinimized());
    host.timers.advance(std::chrono::milliseconds(200));
    QTRY_VERIFY(host.view.window()->isMinimized());
}

QTEST_MAIN(TestStatusScreens)
#include "tst_statusscreens.moc"

// The status screens inside the real RootView: the start-up check, Node.js missing and its
// recheck line, progress, completion and failure with the installer's last line.

#include "WizardFixture.h"

#include "wizard/ui/CopyButton.h"
#include "wizard/ui/CrossFade.h"
#include "wizard/ui/FieldRow.h"
#include "wizard/ui/ProgressScreen.h"
#include "wizard/ui/SymbolView.h"

#include <QDesktopServices>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;
using WizardFixture::Host;
using Screen = Wizard::WizardController::Screen;

namespace {

// From welcome through the questions with the defaults to the installer.
bool install(Host &host)
{
    host.click(u"getStarted"_s);
    host.click(u"primary"_s);
    host.click(u"primary"_s);
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
    void nodeMissing();
    void installOutcome_data();
    void installOutcome();
    void symbolsAreDrawn();
};

void TestStatusScreens::startUpCheckShowsProgress()
{
    Host host;
    host.view.show();
    QVERIFY(QTest::qWaitForWindowActive(&host.view));
    // Showing the view started the check; its screen stays until both answers are in.
    QVERIFY(host.engine.isPending(u"nodeVersion"_s));
    QVERIFY(qobject_cast<Wizard::ProgressScreen *>(host.view.currentScreen()));
    QCOMPARE(host.text(u"status"_s), u"Checking for the latest setup\u2026"_s);
    QVERIFY(host.engine.releaseNodeVersion(u"v22.1.0"_s));
    QCOMPARE(host.controller.screen(), Screen::Loading);
    QVERIFY(host.engine.releaseVersionInfo({}));
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

void TestStatusScreens::nodeMissing()
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

    auto *checkAgain = host.find<QPushButton>(u"checkAgain"_s);
    auto *spinner = host.find<QWidget>(u"recheckSpinner"_s);
    QVERIFY(!spinner->isVisible());
    QTest::keyClick(checkAgain, Qt::Key_Return);
    // While the new check runs: the spinner, the button waiting, nothing said yet.
    QVERIFY(spinner->isVisible());
    QVERIFY(!checkAgain->isEnabled());
    QCOMPARE(line->text(), u" "_s);
    QVERIFY(host.engine.releaseNodeVersion(std::nullopt));
    QVERIFY(host.engine.releaseVersionInfo({}));
    // It found nothing: now it is said, in the same height, and the keyboard is back.
    QCOMPARE(line->text(), u"Still not finding Node.js."_s);
    QCOMPARE(line->height(), height);
    QVERIFY(!spinner->isVisible());
    QVERIFY(checkAgain->isEnabled());
    QCOMPARE(QApplication::focusWidget(), checkAgain);

    // "Get Node.js" hands the download page to the desktop (here: to the test's handler).
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(u"https"_s, &catcher, "open");
    QTest::mouseClick(host.find<QPushButton>(u"getNode"_s), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(u"https"_s);
    QCOMPARE(catcher.opened, (QList<QUrl>{QUrl(u"https://nodejs.org/en/download"_s)}));
    // Without a browser to give it to (none on this platform), the line under the buttons says so.
    QTest::mouseClick(host.find<QPushButton>(u"getNode"_s), Qt::LeftButton);
    QCOMPARE(host.text(u"recheckLine"_s), u"Couldn't open a browser: https://nodejs.org/en/download"_s);

    // Node.js installed meanwhile: the next recheck reaches welcome.
    QTest::mouseClick(checkAgain, Qt::LeftButton);
    QVERIFY(host.engine.releaseNodeVersion(u"v22.1.0"_s));
    QVERIFY(host.engine.releaseVersionInfo({}));
    QCOMPARE(host.controller.screen(), Screen::Welcome);
}

void TestStatusScreens::installOutcome_data()
{
    QTest::addColumn<QString>("output"); // empty: the install succeeds
    QTest::newRow("success") << QString();
    QTest::newRow("installer's last line")
        << u"npm warn deprecated glob@7\nresolving gateway\nError: gateway refused the key"_s;
}

void TestStatusScreens::installOutcome()
{
    QFETCH(QString, output);
    Host host;
    QVERIFY(host.start());
    QVERIFY(install(host));
    QCOMPARE(host.text(u"status"_s), u"Installing\u2026"_s);

    if (output.isEmpty()) {
        // The installer recorded the tools; the launcher shows them, and the versions read
        // afresh when they come, not "checking for updates" for the rest of the session.
        host.engine.existingInstall = true;
        host.engine.existingHarnesses = {{u"codex"_s, u"openai"_s}};
        QVERIFY(host.engine.succeed(u"runInstall"_s));
        QCOMPARE(host.view.currentScreen()->objectName(), u"completionScreen"_s);
        QCOMPARE(host.button(u"openLauncher"_s)->cursor().shape(), Qt::PointingHandCursor);
        host.click(u"openLauncher"_s);
        QCOMPARE(host.view.currentScreen()->objectName(), u"launcherScreen"_s);
        QCOMPARE(host.text(u"version"_s), u"Orvane \u00B7 checking for updates"_s);
        QVERIFY(host.engine.releaseVersionInfo({u"1.4.0"_s, u"1.4.0"_s}));
        QCOMPARE(host.text(u"version"_s), u"Orvane 1.4.0 \u00B7 up to date"_s);
        const auto commands = host.view.currentScreen()->findChildren<Wizard::CopyButton *>();
        QCOMPARE(commands.size(), 1);
        QCOMPARE(commands.first()->text(), u"orv codex"_s);
        return;
    }

    QVERIFY(host.engine.fail(u"runInstall"_s, Setup::SetupError::exitedWithStatus(1, output)));
    QCOMPARE(host.controller.screen(), Screen::Failed);
    QCOMPARE(host.text(u"error"_s), u"Error: gateway refused the key"_s);
    QCOMPARE(host.find<Wizard::SymbolView>(u"symbol"_s)->symbol(), Wizard::SymbolView::Symbol::XmarkCircle);

    // "Try again" goes back to the questions with every answer, the key typed included.
    QTest::mouseClick(host.find<QPushButton>(u"tryAgain"_s), Qt::LeftButton);
    QCOMPARE(host.text(u"stepCounter"_s), u"1 OF 3"_s);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(host.engine.callCount(u"runInstall"_s), 2);
    QCOMPARE(host.engine.lastCall(u"runInstall"_s).answers.fields.value(u"openaiKey"_s), u"sk-1"_s);
}

void TestStatusScreens::symbolsAreDrawn()
{
    // The mark and the ring are drawn; between them the backdrop shows.
    using Symbol = Wizard::SymbolView::Symbol;
    for (const auto &[symbol, mark] : {std::pair(Symbol::ExclamationCircle, QPointF(0.5, 0.4)),
                                       std::pair(Symbol::XmarkCircle, QPointF(0.5, 0.5))}) {
        Wizard::SymbolView view(symbol, 44, Qt::black);
        QImage picture(view.size(), QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
        view.render(&picture, {}, {}, QWidget::DrawChildren); // the symbol alone, no backdrop
        const auto alphaAt = [&](qreal x, qreal y) {
            return qAlpha(picture.pixel(int(x * picture.width()), int(y * picture.height())));
        };
        QVERIFY(alphaAt(mark.x(), mark.y()) > 128);
        QVERIFY(alphaAt(0.97, 0.5) > 64);
        QCOMPARE(alphaAt(0.8, 0.5), 0);
    }
}

QTEST_MAIN(TestStatusScreens)
#include "tst_statusscreens.moc"

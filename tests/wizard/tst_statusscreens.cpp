// The status screens inside the real RootView: the start-up check, Node.js missing and its
// recheck line, progress, completion and failure with the installer's last line.

#include "WizardFixture.h"

#include "design/FlatButton.h"
#include "wizard/ui/CopyButton.h"
#include "wizard/ui/CrossFade.h"
#include "wizard/ui/FieldRow.h"
#include "wizard/ui/ProgressScreen.h"
#include "wizard/ui/SymbolView.h"

#include <QDesktopServices>
#include <QDir>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QTemporaryDir>
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
    void symbolsKeepTheirMark_data();
    void symbolsKeepTheirMark();
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
    auto *spinner = host.find<QWidget>(u"recheckSpinner"_s);
    QVERIFY(!spinner->isVisible());
    QTest::keyClick(checkAgain, Qt::Key_Return);
    // While the new check runs: the spinner, the button waiting, nothing said yet.
    QVERIFY(spinner->isVisible());
    QVERIFY(!checkAgain->isEnabled());
    QCOMPARE(line->text(), u" "_s);
    QCOMPARE(host.engine.callCount(u"nodeVersion"_s), 2);
    QVERIFY(host.engine.releaseNodeVersion(std::nullopt));
    QVERIFY(host.engine.releaseVersionInfo({}));
    // It found nothing: now it is said, in the same height, and the keyboard is back.
    QCOMPARE(host.controller.screen(), Screen::NoNode);
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
    QCOMPARE(host.controller.screen(), Screen::NoNode);
    // Without a browser to give it to (none on this platform), the line under the buttons says so.
    QTest::mouseClick(host.find<QPushButton>(u"getNode"_s), Qt::LeftButton);
    QCOMPARE(labelText(host, u"recheckLine"_s), u"Couldn't open a browser: https://nodejs.org/en/download"_s);

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
        // The installer recorded the tools; the launcher shows them and the versions read
        // afresh, not "checking for updates" for the rest of the session.
        host.engine.existingInstall = true;
        host.engine.existingHarnesses = {{u"codex"_s, u"openai"_s}};
        QVERIFY(host.engine.succeed(u"runInstall"_s));
        QVERIFY(host.engine.releaseVersionInfo({u"1.4.0"_s, u"1.4.0"_s}));
        QCOMPARE(host.controller.screen(), Screen::Complete);
        QCOMPARE(host.view.currentScreen()->objectName(), u"completionScreen"_s);
        auto *open = host.find<Design::FlatButton>(u"openLauncher"_s);
        QVERIFY(open);
        QCOMPARE(open->size(), QSize(205, 62));
        QCOMPARE(open->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseClick(open, Qt::LeftButton);
        QCOMPARE(host.controller.screen(), Screen::Launched);
        QCOMPARE(host.view.currentScreen()->objectName(), u"launcherScreen"_s);
        QCOMPARE(labelText(host, u"version"_s), u"Orvane 1.4.0 \u00B7 up to date"_s);
        const auto commands = host.view.currentScreen()->findChildren<Wizard::CopyButton *>();
        QCOMPARE(commands.size(), 1);
        QCOMPARE(commands.first()->text(), u"orv codex"_s);
        return;
    }

    QVERIFY(host.engine.fail(u"runInstall"_s, Setup::SetupError::exitedWithStatus(1, output)));
    QCOMPARE(host.controller.screen(), Screen::Failed);
    QCOMPARE(labelText(host, u"error"_s), shown);
    auto *symbol = host.find<Wizard::SymbolView>(u"symbol"_s);
    QVERIFY(symbol && symbol->symbol() == Wizard::SymbolView::Symbol::XmarkCircle);

    // "Try again" goes back to the questions with every answer, the key typed included.
    QTest::mouseClick(host.find<QPushButton>(u"tryAgain"_s), Qt::LeftButton);
    QCOMPARE(host.controller.screen(), Screen::Questions);
    QCOMPARE(labelText(host, u"stepCounter"_s), u"1 OF 3"_s);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(host.engine.callCount(u"runInstall"_s), 2);
    QCOMPARE(host.engine.lastCall(u"runInstall"_s).answers.fields.value(u"openaiKey"_s), u"sk-1"_s);
}

void TestStatusScreens::symbolsKeepTheirMark_data()
{
    QTest::addColumn<int>("symbol");
    QTest::addColumn<QPointF>("mark"); // a point of the mark, as a fraction of the square

    QTest::newRow("exclamation") << int(Wizard::SymbolView::Symbol::ExclamationCircle) << QPointF(0.5, 0.4);
    QTest::newRow("cross") << int(Wizard::SymbolView::Symbol::XmarkCircle) << QPointF(0.5, 0.5);
}

void TestStatusScreens::symbolsKeepTheirMark()
{
    QFETCH(int, symbol);
    QFETCH(QPointF, mark);

    // An icon theme drawn as desktop themes draw these: a disc with an opaque white mark.
    QTemporaryDir themes;
    QDir(themes.path()).mkpath(u"disc/48"_s);
    QFile index(themes.filePath(u"disc/index.theme"_s));
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=disc\nDirectories=48\n[48]\nSize=48\nType=Scalable\n"
                "MinSize=8\nMaxSize=512\n");
    index.close();
    QImage disc(48, 48, QImage::Format_ARGB32_Premultiplied);
    disc.fill(Qt::transparent);
    {
        QPainter painter(&disc);
        painter.setBrush(Qt::darkGray);
        painter.drawEllipse(disc.rect());
        painter.fillRect(20, 10, 8, 28, Qt::white);
    }
    for (const char *name : {"emblem-important-symbolic", "dialog-error-symbolic"})
        QVERIFY(disc.save(themes.filePath(u"disc/48/"_s + QLatin1String(name) + u".png"_s)));
    QIcon::setThemeSearchPaths({themes.path()});
    QIcon::setThemeName(u"disc"_s);

    Wizard::SymbolView view(Wizard::SymbolView::Symbol(symbol), 44, Qt::black);
    QImage picture(view.size(), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    view.render(&picture, {}, {}, QWidget::DrawChildren); // the symbol alone, no backdrop
    QIcon::setThemeName({});
    const auto alphaAt = [&](qreal x, qreal y) {
        return qAlpha(picture.pixel(int(x * picture.width()), int(y * picture.height())));
    };
    // The mark and the ring are drawn; between them the backdrop shows.
    QVERIFY(alphaAt(mark.x(), mark.y()) > 128);
    QVERIFY(alphaAt(0.97, 0.5) > 64);
    QCOMPARE(alphaAt(0.8, 0.5), 0);
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

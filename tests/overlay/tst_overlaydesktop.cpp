// The overlay on its own Xvfb with the real controller, monitor, screens and panel window, under
// no window manager or a real one (ORVANE_TEST_WM = none, openbox or xfwm4). Other applications'
// windows come from a second X client, activated as on a click (xdotool windowactivate).
// Pictures of each step go to ORVANE_SCREENSHOTS when it is set.
#include "overlay/OverlayPanelController.h"
#include "overlay/ui/OverlayPanelWindow.h"
#include "platform/ProcessExecutable.h"
#include "platform/ui/QtScreens.h"
#include "platform/Timers.h"
#include "platform/x11/X11ActiveWindowMonitor.h"
#include "support/OverlayStandIns.h"
#include "support/X11Client.h"
#include "support/XvfbServer.h"
#include "usage/TranscriptWalk.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <optional>

using namespace Overlay;
using namespace Qt::StringLiterals;

namespace {

// Window managers answer in milliseconds, but the test machine may be busy with other builds.
constexpr int wmTimeout = 20000;

bool run(const QString &program, const QString &arguments)
{
    QProcess process;
    process.start(program, arguments.split(u' '));
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
           && process.exitCode() == 0;
}

bool clickAt(QPoint at)
{
    return run(u"xdotool"_s, u"mousemove %1 %2 click 1"_s.arg(at.x()).arg(at.y()));
}

} // namespace

class TestOverlayDesktop : public QObject
{
    Q_OBJECT

public:
    explicit TestOverlayDesktop(bool withWindowManager)
        : m_withWindowManager(withWindowManager)
    {}

private Q_SLOTS:
    void initTestCase()
    {
        m_x.emplace();
        QVERIFY(m_x->ok());
        m_monitor = Platform::X11ActiveWindowMonitor::create();
        m_transcripts = std::make_unique<Usage::TranscriptWalk>(m_home.path());
        m_controller = std::make_unique<OverlayPanelController>(OverlayPanelController::Seams{
            .monitor = *m_monitor, .screens = m_screens, .origins = m_origins,
            .clock = Platform::SystemClock::instance(), .timers = Platform::QtTimers::instance(),
            .transcripts = *m_transcripts, .homeDirectory = m_home.path(),
            .executableName = Platform::processExecutableName,
            .makePanel = [this](OverlayState &state) {
                auto window = OverlayPanelWindow::withPill(state);
                m_window = window.get();
                return window;
            }});
        m_controller->start();
        QVERIFY(!m_window->isVisible());
    }

    void showsAboveTheActiveApplication()
    {
        m_claude = m_x->createWindow("claude-desktop", "Claude", 0, QRect(60, 80, 1100, 680));
        QTRY_VERIFY_WITH_TIMEOUT(m_x->isViewable(m_claude), wmTimeout);
        activate(m_claude);
        QTRY_VERIFY_WITH_TIMEOUT(m_window->isVisible() && m_x->isViewable(panelWindow()),
                                 wmTimeout);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect expected(area.x() + area.width() - 318 - 22, area.y() + 18, 318, 58);
        QTRY_COMPARE_WITH_TIMEOUT(panelFrame(), expected, wmTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(m_x->isAbove(panelWindow(), m_claude), wmTimeout);
        // Its transient: kept above it when it goes full screen.
        QCOMPARE(m_x->property32(panelWindow(), "WM_TRANSIENT_FOR"), std::vector<std::uint32_t>{m_claude});

        // Sticky is "every desktop" in _NET_WM_DESKTOP; some window managers (Openbox) keep no
        // sticky state beside it.
        const QStringList states = m_x->netWmState(panelWindow());
        for (const char *state : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER",
                                  "_NET_WM_STATE_ABOVE"})
            QVERIFY2(states.contains(QLatin1String(state)), qPrintable(states.join(u' ')));
        QCOMPARE(m_x->property32(panelWindow(), "_NET_WM_DESKTOP"),
                 std::vector<std::uint32_t>{0xFFFFFFFF});
        // The panel did not take the focus from the application, and offers no window manager to.
        QCOMPARE(m_x->activeWindow(), m_claude);
        const auto protocols = m_x->property32(panelWindow(), "WM_PROTOCOLS");
        QVERIFY(!protocols.empty() && !std::ranges::count(protocols, m_x->atom("WM_TAKE_FOCUS")));
        // No compositor here: the window is clipped to the pill's rounded shape, its corners cut
        // and its edges whole.
        QVERIFY(!m_window->testAttribute(Qt::WA_TranslucentBackground));
        const QRegion shape = m_window->mask();
        for (const QPoint corner : {QPoint(0, 0), QPoint(317, 0), QPoint(0, 57), QPoint(317, 57)})
            QVERIFY(!shape.contains(corner));
        for (const QPoint edge : {QPoint(159, 0), QPoint(0, 29), QPoint(317, 29), QPoint(159, 57),
                                  QPoint(14, 1), QPoint(1, 14)})
            QVERIFY(shape.contains(edge));
        picture("1-shown");
    }

    void clickTogglesWithoutTakingFocus()
    {
        const QRect frame = panelFrame();
        const QPoint header = frame.topLeft() + QPoint(120, 29);
        QVERIFY(clickAt(header));
        QTRY_VERIFY_WITH_TIMEOUT(m_controller->state().snapshot().expanded, wmTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(panelFrame(), QRect(frame.topLeft(), QSize(318, 188)), wmTimeout);
        QTest::qWait(200); // a window manager that would focus on click has done so by now
        QCOMPARE(m_x->activeWindow(), m_claude);
        QVERIFY(m_x->isAbove(panelWindow(), m_claude));
        picture("2-expanded");

        // A click below the header does nothing.
        const QPoint block = frame.topLeft() + QPoint(120, 120);
        QVERIFY(clickAt(block));
        QTest::qWait(200);
        QVERIFY(m_controller->state().snapshot().expanded);
        QCOMPARE(m_x->activeWindow(), m_claude);
    }

    void dragMovesAndIsRemembered()
    {
        const QRect before = panelFrame();
        const QPoint start = before.topLeft() + QPoint(150, 29);
        QVERIFY(run(u"xdotool"_s, u"mousemove %1 %2 mousedown 1"_s.arg(start.x()).arg(start.y())));
        // A hand's drag: a few small moves, then larger ones. A window manager's move starts from
        // wherever the pointer is when it takes over (xfwm4 misses the motion that hands over), so
        // the drop may be off by those first pixels.
        QList<QPoint> path{{-2, 1}, {-4, 2}, {-8, 5}};
        for (int step = 1; step <= 10; ++step)
            path << QPoint(-8 - 50 * step, 5 + 30 * step);
        for (const QPoint offset : path) {
            QTest::qWait(30);
            const QPoint at = start + offset;
            QVERIFY(run(u"xdotool"_s, u"mousemove %1 %2"_s.arg(at.x()).arg(at.y())));
        }
        QTest::qWait(50);
        QVERIFY(run(u"xdotool"_s, u"mouseup 1"_s));
        const QPoint aim = before.topLeft() + path.last();
        QTRY_VERIFY_WITH_TIMEOUT((panelFrame().topLeft() - aim).manhattanLength() <= 16, wmTimeout);
        QTest::qWait(100);
        const QPoint dropped = panelFrame().topLeft();
        QTRY_COMPARE_WITH_TIMEOUT(m_origins.stored, std::optional(dropped), wmTimeout);
        QVERIFY(m_controller->state().snapshot().expanded); // a drag is not a click
        QCOMPARE(m_x->activeWindow(), m_claude);
        picture("3-dragged");

        // Hidden by another application and shown again where it was dropped.
        const xcb_window_t files = m_x->createWindow("nautilus", "Nautilus", 0, QRect(200, 200, 500, 400));
        QTRY_VERIFY_WITH_TIMEOUT(m_x->isViewable(files), wmTimeout);
        activate(files);
        QTRY_VERIFY_WITH_TIMEOUT(!m_x->isViewable(panelWindow()), wmTimeout);
        activate(m_claude);
        QTRY_VERIFY_WITH_TIMEOUT(m_x->isViewable(panelWindow()), wmTimeout);
        QTRY_COMPARE_WITH_TIMEOUT(panelFrame(), QRect(dropped, QSize(318, 188)), wmTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(m_x->isAbove(panelWindow(), m_claude), wmTimeout);
        QVERIFY(m_x->netWmState(panelWindow()).contains(QLatin1String("_NET_WM_STATE_SKIP_TASKBAR")));
        m_x->destroyWindow(files);
    }

    void staysOnEveryWorkspace()
    {
        if (!m_withWindowManager)
            QSKIP("workspaces belong to a window manager");
        const auto count = m_x->property32(m_x->root(), "_NET_NUMBER_OF_DESKTOPS");
        if (count.empty() || count.front() < 2)
            QSKIP("the window manager offers one workspace");
        // The user switches to the second workspace and works in Claude there.
        m_x->switchDesktop(1);
        QTRY_COMPARE_WITH_TIMEOUT(m_x->property32(m_x->root(), "_NET_CURRENT_DESKTOP"),
                                  std::vector<std::uint32_t>{1}, wmTimeout);
        const xcb_window_t second = m_x->createWindow("claude", "Claude", 0, QRect(80, 90, 900, 600));
        QTRY_VERIFY_WITH_TIMEOUT(m_x->isViewable(second), wmTimeout);
        activate(second);
        QTRY_VERIFY_WITH_TIMEOUT(m_x->isViewable(panelWindow()), wmTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(m_x->isAbove(panelWindow(), second), wmTimeout);
        QCOMPARE(m_x->property32(panelWindow(), "_NET_WM_DESKTOP"),
                 std::vector<std::uint32_t>{0xFFFFFFFF});
        picture("4-second-workspace");
        m_x->destroyWindow(second);
        m_x->switchDesktop(0);
        QTRY_COMPARE_WITH_TIMEOUT(m_x->property32(m_x->root(), "_NET_CURRENT_DESKTOP"),
                                  std::vector<std::uint32_t>{0}, wmTimeout);
    }

    void staysAboveAFullScreenApplication()
    {
        if (!m_withWindowManager)
            QSKIP("full screen is a window manager's");
        const auto fullScreen = [this](const char *change) {
            return run(u"wmctrl"_s, u"-i -r %1 -b %2"_s.arg(m_claude).arg(QLatin1String(change)));
        };
        const auto isFullScreen = [this] {
            return m_x->netWmState(m_claude).contains(QLatin1String("_NET_WM_STATE_FULLSCREEN"));
        };
        activate(m_claude);
        QVERIFY(fullScreen("add,fullscreen"));
        QTRY_VERIFY_WITH_TIMEOUT(isFullScreen(), wmTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(m_x->isViewable(panelWindow()), wmTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(m_x->isAbove(panelWindow(), m_claude), wmTimeout);
        QCOMPARE(m_x->activeWindow(), m_claude);
        picture("5-full-screen");
        QVERIFY(fullScreen("remove,fullscreen"));
        QTRY_VERIFY_WITH_TIMEOUT(!isFullScreen(), wmTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(m_x->isAbove(panelWindow(), m_claude), wmTimeout);
    }

    void cleanupTestCase()
    {
        m_controller.reset();
        m_monitor.reset();
    }

private:
    void activate(xcb_window_t window);
    xcb_window_t panelWindow() { return xcb_window_t(m_window->winId()); }
    QRect panelFrame() { return m_x->frame(panelWindow()); }
    void picture(const char *step);

    bool m_withWindowManager;
    std::optional<X11Client> m_x;
    QTemporaryDir m_home;
    std::unique_ptr<Platform::ActiveWindowMonitor> m_monitor;
    Platform::QtScreens m_screens;
    StandIns::MemoryOrigins m_origins;
    std::unique_ptr<Usage::TranscriptWalk> m_transcripts;
    std::unique_ptr<OverlayPanelController> m_controller;
    OverlayPanelWindow *m_window = nullptr;
    xcb_window_t m_claude = XCB_WINDOW_NONE;
};

void TestOverlayDesktop::activate(xcb_window_t window)
{
    if (m_withWindowManager)
        QVERIFY(run(u"xdotool"_s, u"windowactivate --sync %1"_s.arg(window)));
    else
        m_x->setActiveWindow(window);
    QTRY_COMPARE_WITH_TIMEOUT(m_x->activeWindow(), window, wmTimeout);
}

void TestOverlayDesktop::picture(const char *step)
{
    const QString folder = qEnvironmentVariable("ORVANE_SCREENSHOTS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    QTest::qWait(150); // let the window manager and the panel finish drawing
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    QVERIFY(shot.save(QStringLiteral("%1/desktop-%2-%3.png")
                          .arg(folder, qEnvironmentVariable("ORVANE_TEST_WM", QStringLiteral("none")),
                               QString::fromLatin1(step))));
}

int main(int argc, char **argv)
{
    const QByteArray manager = qgetenv("ORVANE_TEST_WM");
    const bool withWindowManager = manager == "openbox" || manager == "xfwm4";
    XvfbServer server;
    QString failure = server.start();
    if (failure.isEmpty() && withWindowManager)
        failure =
            server.startWindowManager(manager == "openbox" ? XvfbServer::WindowManager::Openbox
                                                           : XvfbServer::WindowManager::Xfwm4);
    for (const char *tool : {"xdotool", "wmctrl"})
        if (failure.isEmpty() && QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            failure = QLatin1String(tool) + QStringLiteral(" is not installed");
    if (!failure.isEmpty()) {
        std::printf("SKIP   : %s\n", qPrintable(failure));
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    TestOverlayDesktop test(withWindowManager);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_overlaydesktop.moc"

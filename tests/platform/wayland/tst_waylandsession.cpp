// The active-window monitors and the pill in Wayland sessions, under a real headless compositor
// with XWayland (ORVANE_TEST_COMPOSITOR: sway, kwin or gnome-shell; each run starts its own).
// Two native stand-in windows, one with Claude Desktop's app_id and one of another application,
// and an XWayland one with Claude Desktop's WM_CLASS; the focus goes from one to the next
// through the compositor. The real program runs in the session: its pill shows over a focused
// Claude window, native or XWayland, at its default place and without taking the focus, and
// hides for the other application. Pictures go to ORVANE_SCREENSHOTS when it is set.
#include "CompositorSession.h"
#include "overlay/OverlayState.h"
#include "overlay/ui/OverlayPanelWindow.h"
#include "overlay/ui/OverlayPillView.h"
#include "platform/Clock.h"
#include "support/X11Client.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <optional>

namespace {

constexpr int timeout = 20'000;

// A window standing in for an application: native ("wayland") with `id` as its app_id, or on
// XWayland ("xcb") with `instance` and `id` as its WM_CLASS.
struct StandIn
{
    const char *title;
    const char *platform;
    const char *id;
    const char *instance;
    const char *color;
};

const StandIn claudeNative{"Claude native", "wayland", "com.anthropic.Claude", "", "#1f4e9a"};
const StandIn notesNative{"Notes native", "wayland", "org.example.Notes", "", "#1a7f37"};
const StandIn claudeX11{"Claude XWayland", "xcb", "com.anthropic.Claude", "com.anthropic.claude",
                        "#6a3d9a"};

// `--stand-in PLATFORM ID INSTANCE TITLE COLOR`: shows one stand-in window until killed.
int runStandIn(char **argv)
{
    qputenv("QT_QPA_PLATFORM", argv[2]);
    if (qstrcmp(argv[2], "xcb") == 0)
        qputenv("RESOURCE_NAME", argv[4]);
    int argc = 1;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(argv[3]));
    QApplication::setDesktopFileName(QString::fromUtf8(argv[3]));
    QWidget window;
    window.setWindowTitle(QString::fromUtf8(argv[5]));
    window.setStyleSheet(QStringLiteral("background: ") + QString::fromLatin1(argv[6]));
    window.resize(1200, 720);
    window.show();
    return app.exec();
}

} // namespace

class TestWaylandSession : public QObject
{
    Q_OBJECT

public:
    explicit TestWaylandSession(CompositorSession &session) : m_session(session) {}

private Q_SLOTS:
    void initTestCase()
    {
        m_monitor = m_session.monitor();
        QVERIFY2(m_monitor, "the session offers no means to follow the active window");
        m_monitor->start();
        connect(m_monitor.get(), &Platform::ActiveWindowMonitor::activeWindowChanged, this,
                [this] { m_seen.append(m_monitor->activeWindow()); });
        for (const StandIn *standIn : {&claudeNative, &notesNative, &claudeX11})
            QVERIFY2(open(*standIn) != 0, standIn->title);
        // A client of the session's XWayland, to find the pill's window there.
        for (const char *name : {"DISPLAY", "XAUTHORITY"})
            qputenv(name, m_session.environment().value(QString::fromLatin1(name)).toLocal8Bit());
        m_x.emplace();
        QVERIFY(m_x->ok());
    }

    void monitorReportsEachSwitchInOrder()
    {
        m_seen.clear();
        const QList<const StandIn *> order{&claudeNative, &notesNative, &claudeX11, &notesNative,
                                           &claudeNative};
        QList<std::uint32_t> expected;
        for (const StandIn *standIn : order) {
            focus(*standIn);
            expected.append(m_ids.value(QString::fromLatin1(standIn->title)));
        }
        QTest::qWait(int(Platform::SettlingActiveWindowMonitor::noneGrace.count()) * 2);
        QList<std::uint32_t> reported;
        for (const auto &window : m_seen)
            reported.append(window ? window->id : 0);
        QCOMPARE(reported, expected);
        // Each with the identity its application gave it (KWin lowers an X11 class's case), and
        // its process where the desktop tells.
        for (const auto &window : m_seen) {
            const StandIn *standIn = order[m_seen.indexOf(window)];
            QCOMPARE(window->className.toLower(), QString::fromLatin1(standIn->id).toLower());
            if (qstrcmp(standIn->platform, "wayland") == 0)
                QCOMPARE(window->x11Window, 0u); // nothing X11 to keep the pill above
            if (window->pid)
                QCOMPARE(*window->pid, m_pids.value(QString::fromLatin1(standIn->title)));
        }
    }

    void pillShowsOverClaudeWithoutTakingTheFocus()
    {
        // The real program, as a user starts it in this session, in a home of its own.
        QProcessEnvironment environment = m_session.environment();
        for (const char *name :
             {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "GSETTINGS_BACKEND", "RUNNING_UNDER_GDM"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.insert(QStringLiteral("QT_LOGGING_RULES"),
                           QStringLiteral("orvane.*.debug=true"));
        m_session.spawn(QStringLiteral(ORVANE_PROGRAM), {}, environment, true);
        // Its setup window comes up first, and takes the focus.
        QVERIFY(QTest::qWaitFor(
            [&] {
                const auto active = m_monitor->activeWindow();
                return active && active->className.compare(u"orvane", Qt::CaseInsensitive) == 0;
            },
            timeout));

        // At the top right of the work area, over the native Claude window, which keeps the focus.
        focus(claudeNative);
        const auto work = m_x->property32(m_x->root(), "_NET_WORKAREA");
        const QRect area = work.size() >= 4
                               ? QRect(int(work[0]), int(work[1]), int(work[2]), int(work[3]))
                               : QRect(0, 0, CompositorSession::kWidth, CompositorSession::kHeight);
        const QRect expected(area.x() + area.width() - 22 - 318, area.y() + 18, 318, 58);
        const auto inPlace = [&] { return pillShown() && pillBox() == expected; };
        QVERIFY(QTest::qWaitFor(inPlace, timeout));
        staysFocused(claudeNative);
        // On the screen, above Claude's window, once drawn.
        QVERIFY(pillDrawn("pill-over-native-claude"));

        // Hidden for another application and shown again at once for Claude on XWayland, at the
        // same place and above it.
        focus(notesNative);
        QVERIFY(QTest::qWaitFor([&] { return !pillShown(); }, timeout));
        focus(claudeX11);
        QVERIFY(QTest::qWaitFor(inPlace, timeout));
        staysFocused(claudeX11);
        QVERIFY(pillDrawn("pill-over-xwayland-claude"));
    }

private:
    // The pill's window on XWayland, or none.
    xcb_window_t pill() { return m_x->findByRole(Overlay::OverlayPanelWindow::windowRole); }
    bool pillShown() { return pill() != XCB_WINDOW_NONE && m_x->isViewable(pill()); }
    // The pill's box: its window's frame without the room left for its shadow.
    QRect pillBox()
    {
        const QRect frame = m_x->frame(pill());
        Overlay::OverlayState state;
        const Overlay::OverlayPillView view(state, frame.width() != 318);
        return frame.marginsRemoved(view.shadowMargins());
    }

    // The monitor has reported `standIn` last, and still does a moment later.
    void staysFocused(const StandIn &standIn)
    {
        const std::uint32_t id = m_ids.value(QString::fromLatin1(standIn.title));
        const qsizetype seen = m_seen.size();
        QTest::qWait(500); // a compositor that would focus the pill has done so by now
        QCOMPARE(m_seen.size(), seen);
        QVERIFY(m_monitor->activeWindow());
        QCOMPARE(m_monitor->activeWindow()->id, id);
    }

    // The screen as the compositor shows it; kept as `step` in ORVANE_SCREENSHOTS when set.
    QImage picture(const char *step)
    {
        const QImage shot = m_session.screenshot();
        const QString folder = qEnvironmentVariable("ORVANE_SCREENSHOTS");
        if (!folder.isEmpty() && !shot.isNull() && QDir().mkpath(folder))
            shot.save(QStringLiteral("%1/wayland-%2-%3.png")
                          .arg(folder, qEnvironmentVariable("ORVANE_TEST_COMPOSITOR"),
                               QString::fromLatin1(step)));
        return shot;
    }

    // The pill is on the screen where its window is, above the others, within the time-out.
    bool pillDrawn(const char *step)
    {
        // The pill's dark body where it shows, not the blue or purple of the Claude window below.
        QColor body;
        const bool drawn = QTest::qWaitFor(
            [&] {
                const QRect box = pillBox();
                body = picture(step).pixelColor(box.left() + 6, box.center().y());
                return qGray(body.rgb()) < 40 && body.blue() < 60;
            },
            timeout);
        if (!drawn)
            qWarning("the screen shows %s where the pill is", qPrintable(body.name()));
        return drawn;
    }

    // Starts `standIn` and waits until it has the focus; gives the monitor's id for it.
    std::uint32_t open(const StandIn &standIn)
    {
        QProcessEnvironment environment = m_session.environment();
        QProcess &process = m_session.spawn(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral("--stand-in"), QString::fromLatin1(standIn.platform),
             QString::fromLatin1(standIn.id), QString::fromLatin1(standIn.instance),
             QString::fromLatin1(standIn.title), QString::fromLatin1(standIn.color)},
            environment, true);
        m_pids[QString::fromLatin1(standIn.title)] = process.processId();
        // A new window takes the focus: a window with its identity that the monitor has not seen.
        const auto isNew = [&] {
            const auto active = m_monitor->activeWindow();
            return active &&
                   active->className.compare(QLatin1String(standIn.id), Qt::CaseInsensitive) == 0 &&
                   !m_ids.values().contains(active->id);
        };
        if (!QTest::qWaitFor(isNew, timeout))
            return 0;
        return m_ids[QString::fromLatin1(standIn.title)] = m_monitor->activeWindow()->id;
    }

    // Focuses `standIn`'s window and waits until the monitor reports it.
    void focus(const StandIn &standIn)
    {
        QVERIFY(m_session.focus(QString::fromLatin1(standIn.title)));
        const std::uint32_t id = m_ids.value(QString::fromLatin1(standIn.title));
        const auto reported = [&] {
            return m_monitor->activeWindow() && m_monitor->activeWindow()->id == id;
        };
        QVERIFY2(QTest::qWaitFor(reported, timeout), standIn.title);
    }

    CompositorSession &m_session;
    std::optional<X11Client> m_x;
    QTemporaryDir m_home;
    std::unique_ptr<Platform::ActiveWindowMonitor> m_monitor;
    QList<std::optional<Platform::ActiveWindow>> m_seen;
    QHash<QString, std::uint32_t> m_ids;
    QHash<QString, qint64> m_pids;
};

int main(int argc, char **argv)
{
    if (argc == 7 && qstrcmp(argv[1], "--stand-in") == 0)
        return runStandIn(argv);
    QApplication app(argc, argv);
    CompositorSession session(qEnvironmentVariable("ORVANE_TEST_COMPOSITOR"));
    if (const QString failure = session.start(); !failure.isEmpty()) {
        std::printf("SKIP   : %s\n", qPrintable(failure));
        return 0;
    }
    TestWaylandSession test(session);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_waylandsession.moc"

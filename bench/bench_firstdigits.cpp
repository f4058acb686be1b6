// From a line appended to the conversation's transcript to the first changed pixel of the
// pill's counters on the screen: the overlay controller with its real timers, clock and inotify
// index, hosting the real pill window on a private Xvfb. Another X connection, on a thread of its
// own, follows the window's damage (XDamage) and compares the counters' pixels after each report
// with those before the append. Printed as the median and spread over the appends, beside the
// same with the earlier behaviour (the count-up's first step at its first tick, the whole pill
// repainted). Figures are printed, never asserted.
//
//   orvane-bench-firstdigits [--appends N]   (default 25 for each)

#include "LivePill.h"
#include "Measure.h"
#include "overlay/ui/OverlayPillView.h"
#include "support/XvfbServer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

using namespace Bench;
using namespace std::chrono_literals;

namespace {

constexpr double targetMs = 5;

QByteArray turn(int n, int output)
{
    return QStringLiteral("{\"type\":\"assistant\",\"message\":{\"id\":\"msg_%1\",\"model\":"
                          "\"claude-sonnet-4-5\",\"usage\":{\"input_tokens\":3,"
                          "\"cache_creation_input_tokens\":200,\"cache_read_input_tokens\":40000,"
                          "\"output_tokens\":%2}}}\n")
        .arg(n)
        .arg(output)
        .toUtf8();
}

// Follows a window's damage on a connection of its own and notes the first report after which
// the pixels of an area differ from those it was armed with.
class DamageWatch
{
public:
    bool start(xcb_window_t window, QRect area)
    {
        m_window = window;
        m_area = area;
        m_c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_c))
            return false;
        const xcb_query_extension_reply_t *damage = xcb_get_extension_data(m_c, &xcb_damage_id);
        if (!damage || !damage->present)
            return false;
        m_damageEvent = damage->first_event + XCB_DAMAGE_NOTIFY;
        std::free(
            xcb_damage_query_version_reply(m_c, xcb_damage_query_version(m_c, 1, 1), nullptr));
        const xcb_damage_damage_t id = xcb_generate_id(m_c);
        xcb_damage_create(m_c, id, window, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        xcb_flush(m_c);
        m_thread = std::thread([this] { follow(); });
        return true;
    }

    ~DamageWatch()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_c)
            xcb_disconnect(m_c);
    }

    QByteArray pixels() const
    {
        auto *reply = xcb_get_image_reply(
            m_c,
            xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_window, std::int16_t(m_area.x()),
                          std::int16_t(m_area.y()), std::uint16_t(m_area.width()),
                          std::uint16_t(m_area.height()), ~0u),
            nullptr);
        QByteArray bytes;
        if (reply)
            bytes = QByteArray(reinterpret_cast<const char *>(xcb_get_image_data(reply)),
                               xcb_get_image_data_length(reply));
        std::free(reply);
        return bytes;
    }

    // From now on, the first damage after which the area differs from BEFORE is noted and
    // ONCHANGE called (on the watch's thread).
    void arm(QByteArray before, std::function<void()> onChange)
    {
        std::lock_guard lock(m_mutex);
        m_before = std::move(before);
        m_onChange = std::move(onChange);
        m_changedAt.reset();
        m_armed = true;
    }

    std::optional<Clock::time_point> changedAt()
    {
        std::lock_guard lock(m_mutex);
        return m_changedAt;
    }

private:
    void follow()
    {
        pollfd descriptor{xcb_get_file_descriptor(m_c), POLLIN, 0};
        while (!m_stop) {
            xcb_generic_event_t *event = xcb_poll_for_event(m_c);
            if (!event) {
                ::poll(&descriptor, 1, 20);
                continue;
            }
            const bool damaged = (event->response_type & 0x7f) == m_damageEvent;
            std::free(event);
            if (!damaged || !m_armed)
                continue;
            const auto at = Clock::now();
            if (pixels() == m_before)
                continue;
            std::function<void()> onChange;
            {
                std::lock_guard lock(m_mutex);
                m_armed = false;
                m_changedAt = at;
                onChange = m_onChange;
            }
            onChange();
        }
    }

    xcb_connection_t *m_c = nullptr;
    xcb_window_t m_window = 0;
    QRect m_area;
    std::uint8_t m_damageEvent = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop = false;
    std::atomic<bool> m_armed = false;
    std::mutex m_mutex;
    QByteArray m_before;
    std::function<void()> m_onChange;
    std::optional<Clock::time_point> m_changedAt;
};

// Runs the event loop for MILLISECONDS, or until DONE says so (asked every 10 ms).
void waitFor(int milliseconds, const std::function<bool()> &done = {})
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    QTimer check;
    if (done) {
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (done())
                loop.quit();
        });
        check.start(10);
    }
    loop.exec();
}

struct Figures
{
    std::vector<double> pixelMs;    // append to the first changed pixel
    std::vector<double> countersMs; // append to the new counters in the state
    int missed = 0;
};

Figures run(const QString &home, const QString &path, int appends, bool earlier, int &message)
{
    LivePill live(home, earlier);
    Overlay::OverlayPanelController &controller = live.controller;
    Overlay::OverlayPanelWindow *window = live.window;
    waitFor(1500, [&] { return !controller.isAnimating(); });
    waitFor(300);

    // The counters' block: the expanded pill below its header row.
    const auto *pill = static_cast<Overlay::OverlayPillView *>(window->content());
    const QRect box = pill->pillRect().translated(pill->pos());
    const QRect counters(box.left(), box.top() + 59, box.width(), box.height() - 59);
    DamageWatch watch;
    Figures figures;
    if (!watch.start(xcb_window_t(window->winId()), counters)) {
        std::fprintf(stderr, "no XDamage on the display\n");
        return figures;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND);
    std::int64_t output = controller.state().snapshot().usage->output;
    for (int i = 0; i < appends; ++i) {
        QEventLoop loop;
        watch.arm(watch.pixels(), [&loop] {
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        std::optional<Clock::time_point> counted;
        const QMetaObject::Connection connection =
            QObject::connect(&controller.state(), &Overlay::OverlayState::changed, [&] {
                if (!counted && controller.state().snapshot().usage->output != output)
                    counted = Clock::now();
            });
        const QByteArray line = turn(++message, 5000);
        const auto start = Clock::now();
        if (::write(fd, line.constData(), std::size_t(line.size())) != line.size())
            break;
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        loop.exec();
        QObject::disconnect(connection);
        output = controller.state().snapshot().usage->output;
        const auto changed = watch.changedAt();
        if (!changed || !counted) {
            ++figures.missed;
        } else {
            figures.pixelMs.push_back(seconds(*changed - start) * 1e3);
            figures.countersMs.push_back(seconds(*counted - start) * 1e3);
        }
        // The count-up ends before the next append, so that it starts from still digits.
        waitFor(2500, [&] { return !controller.isAnimating(); });
        waitFor(100);
    }
    ::close(fd);
    return figures;
}

void print(const char *what, const Figures &figures)
{
    const std::vector<double> &ms = figures.pixelMs;
    if (ms.empty()) {
        std::printf("  %-44s no changed pixel seen\n", what);
        return;
    }
    std::printf(
        "  %-44s first changed pixel: median %.2f ms, min %.2f, p90 %.2f, max %.2f over %zu "
        "appends%s; counters in the state: median %.2f ms\n",
        what, median(ms), *std::min_element(ms.begin(), ms.end()), percentile(ms, 0.9),
        *std::max_element(ms.begin(), ms.end()), ms.size(), figures.missed ? " (some missed!)" : "",
        median(figures.countersMs));
}

} // namespace

int main(int argc, char **argv)
{
    int appends = 25;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--appends")
            appends = std::max(1, std::atoi(argv[i + 1]));
    }
    XvfbServer server;
    // The stand-in screen's size: the pill goes to its top right corner.
    if (const QString failure = server.start(1280, 800); !failure.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(failure));
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral(".claude/projects/-home-ada-app"));
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/s.jsonl");
    QFile transcript(path);
    if (!transcript.open(QIODevice::WriteOnly) || transcript.write(turn(0, 50000)) < 0)
        return 1;
    transcript.close();

    printMachine();
    std::printf("\n== a line appended to the transcript until the pill's counters change on the "
                "screen (Xvfb %s, no window manager)\n",
                server.display().constData());
    int message = 0;
    const Figures now = run(home.path(), path, appends, false, message);
    const Figures before = run(home.path(), path, appends, true, message);
    print("now", now);
    print("before (first step at the first tick)", before);
    const double figure = now.pixelMs.empty() ? 1e9 : median(now.pixelMs);
    std::printf("  target append to first changed pixel < %.0f ms median: %.2f ms, %s\n", targetMs,
                figure, verdict(figure < targetMs));
    printMachine();
    return 0;
}

// The overlay controller as the application runs it (real timers, the inotify index) against a
// transcript that grows by gigabytes and a tree with more folders than it may watch: it stays
// responsive, its timers keep firing on time, and the counters follow. (Transcripts truncated,
// replaced or turned into pipes are the reader's hostile suite's; hostile gateways the client's.)
#include "overlay/OverlayPanelController.h"
#include "platform/Clock.h"
#include "platform/Timers.h"
#include "support/OverlayStandIns.h"
#include "usage/TranscriptHome.h"
#include "usage/TranscriptIndex.h"

#include <QElapsedTimer>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace Overlay;
using namespace std::chrono_literals;

namespace {

using StandIns::RecordingPanel;

QByteArray turn(int n)
{
    return claudeLine(QByteArray("h" + QByteArray::number(n)).constData(), 100000 * n, 200, 10, 40);
}

// The controller with the pill expanded over HOME, on the real timers and the inotify index.
struct Running
{
    // Giving back its watches overflows an event queue as short as half of them, as the
    // kernel's does when a tree has more folders than it may be given.
    explicit Running(const QString &home, std::size_t watchLimit = 0)
        : transcripts(home, watchLimit / 2, {}, watchLimit)
        , controller(OverlayPanelController::Seams{
              .monitor = monitor, .screens = screens, .origins = origins,
              .clock = Platform::SystemClock::instance(), .timers = Platform::QtTimers::instance(),
              .transcripts = transcripts, .homeDirectory = home, .executableName = {},
              .makePanel = [](OverlayState &) { return std::make_unique<RecordingPanel>(); }})
    {
        controller.start();
        controller.toggle();
    }
    std::int64_t output()
    {
        return controller.state().snapshot().usage.value_or(Usage::TokenUsage{}).output;
    }

    StandIns::ScriptedMonitor monitor{StandIns::claude()};
    StandIns::FixedScreens screens;
    StandIns::MemoryOrigins origins;
    Usage::TranscriptIndex transcripts;
    OverlayPanelController controller;
};

// The longest the main thread went without running its event loop, seen by a 5 ms timer.
class StallProbe
{
public:
    StallProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            m_longest = std::max(m_longest, m_since.restart() - 5);
        });
        m_since.start();
        m_timer.start();
    }
    qint64 longestMs() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
};

// The inotify watches this process holds.
int inotifyWatches()
{
    int watches = 0;
    for (const QFileInfo &fd : QDir(QStringLiteral("/proc/self/fdinfo")).entryInfoList(QDir::Files)) {
        QFile info(fd.filePath());
        if (info.open(QIODevice::ReadOnly))
            watches += int(info.readAll().count("inotify wd:"));
    }
    return watches;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    return ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

} // namespace

class TestOverlayHostilePeers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hostileTranscriptLeavesTheOverlayOnTime_data()
    {
        QTest::addColumn<bool>("folders");
        QTest::newRow("grows by 2 GiB") << false;
        QTest::newRow("more folders than its watches") << true;
    }

    // Another thread does to the transcript what the row says, as fast as it can, while the main
    // thread runs the controller; a 5 ms probe timer measures the longest stall of its loop.
    void hostileTranscriptLeavesTheOverlayOnTime()
    {
        QFETCH(bool, folders);
        QTemporaryDir home;
        const QString folder = home.filePath(QStringLiteral(".claude/projects/-home-u-app"));
        QVERIFY(QDir().mkpath(folder));
        const QByteArray path = QFile::encodeName(folder + QStringLiteral("/t.jsonl"));
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        QVERIFY(fd >= 0);
        QVERIFY(writeAll(fd, turn(1)));
        // With more folders than it may watch, the index gives its watches back and walks.
        for (int i = 0; folders && i < 400; ++i)
            QVERIFY(QDir().mkpath(home.filePath(QStringLiteral(".claude/projects/-p%1/a").arg(i))));
        Running running(home.path(), folders ? 100 : 0);
        QTRY_COMPARE(running.output(), 40);
        QVERIFY2(!folders || inotifyWatches() < 20, qPrintable(QString::number(inotifyWatches())));
        const std::size_t fullWalks = running.transcripts.fullWalks();

        // Between turns a 300 KiB tool result: a long line that does not count.
        const QByteArray result = "{\"type\":\"user\",\"message\":{\"content\":\"" +
                                  QByteArray(300 * 1024, 'x') + "\"}}\n";
        std::atomic<int> turns = 1;
        const auto fill = [&](qint64 bytes) {
            for (qint64 written = 0; written < bytes; written += result.size())
                if (!writeAll(fd, result) || !writeAll(fd, turn(++turns)))
                    return false;
            return true;
        };
        std::atomic<bool> done = false, failed = false;
        StallProbe probe;
        std::thread writer([&] {
            // 2 GiB at once, or ten turns 100 ms apart over the walked tree.
            for (int step = 0; !failed && step < (folders ? 10 : 1); ++step) {
                failed = !fill(folders ? 1 : 2LL << 30);
                std::this_thread::sleep_for(folders ? 100ms : 0ms);
            }
            done = true;
        });
        while (!done)
            QTest::qWait(20);
        writer.join();
        ::close(fd);
        QVERIFY(!failed);
        QTRY_COMPARE_WITH_TIMEOUT(running.output(), 40 * turns, 120000);
        QTest::qWait(100); // the probe's next tick sees a stall that has just ended
        // A read of everything at once would stall for seconds, and the controller's timers with
        // it; a busy shared machine may add a little to the slices.
        QVERIFY2(probe.longestMs() < 400, qPrintable(QString::number(probe.longestMs())));
        // Walked off this thread from then on, not again and again here.
        QCOMPARE(running.transcripts.fullWalks(), fullWalks);
    }
};

QTEST_GUILESS_MAIN(TestOverlayHostilePeers)
#include "tst_overlayhostilepeers.moc"

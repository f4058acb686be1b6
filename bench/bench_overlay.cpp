// The overlay controller driven on the fake clock over generated homes: the CPU it spends per
// simulated second while a supported window is in front and nothing changes, and the time from
// a line appended to the newest transcript to the new counters in the overlay's state. The
// controller runs over the inotify index (as in the application: the index's change handler
// reads the counters) and, as the reference, over the walking transcript source, which reports
// no changes: the controller reads at every display tick, as it does where inotify fails (the
// wait for that tick is not counted, only its work). Then the longest single read while the controller catches up
// with a transcript that grew by 2 GiB, in the controller's slices against one read of it all.
// Figures are printed, never asserted.
#include "support/OverlayStandIns.h"
#include "overlay/OriginStore.h"
#include "overlay/OverlayPanelController.h"
#include "overlay/Panel.h"
#include "platform/ActiveWindowMonitor.h"
#include "platform/Screens.h"
#include "support/ManualTimers.h"
#include "usage/TokenUsageReader.h"
#include "usage/TranscriptIndex.h"
#include "usage/TranscriptWalk.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace std::chrono_literals;

namespace {

using StandIns::RecordingPanel;


double cpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

QByteArray turn(int n)
{
    return QStringLiteral("{\"type\":\"assistant\",\"message\":{\"id\":\"m%1\",\"model\":"
                          "\"claude-opus-4-1\",\"usage\":{\"input_tokens\":%2,"
                          "\"cache_creation_input_tokens\":200,\"cache_read_input_tokens\":%3,"
                          "\"output_tokens\":40}}}\n")
        .arg(n)
        .arg(10 + n % 7)
        .arg(1000 + n)
        .toUtf8();
}

// FILES transcripts in 500 folders below HOME's Claude root, a few turns each; the last one
// written is the newest.
QString generate(const QString &home, int files)
{
    const QString root = home + QStringLiteral("/.claude/projects");
    QString newest;
    for (int i = 0; i < files; ++i) {
        const QString folder = root + QStringLiteral("/-home-ada-project-%1").arg(i % 500);
        if (i < 500)
            QDir().mkpath(folder);
        newest = folder + QStringLiteral("/%1.jsonl").arg(i, 6, 10, QLatin1Char('0'));
        QFile file(newest);
        if (file.open(QIODevice::WriteOnly))
            file.write(turn(1) + turn(2) + turn(3));
    }
    // Files written within one tick of the kernel's coarse clock share a modification time; the
    // conversation under test is the one clearly newest.
    QFile last(newest);
    if (last.open(QIODevice::ReadWrite))
        last.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
    return newest;
}

struct Figures
{
    double idleMsPerSecond = 0;
    double medianAppendMs = 0;
    double p95AppendMs = 0;
};

Figures run(const QString &home, const QString &newest, bool index)
{
    StandIns::ScriptedMonitor monitor(StandIns::claude());
    StandIns::FixedScreens screens;
    StandIns::MemoryOrigins origins;
    ManualClock clock;
    ManualTimers timers(clock);
    std::unique_ptr<Usage::TranscriptSource> source;
    if (index)
        source = std::make_unique<Usage::TranscriptIndex>(home);
    else
        source = std::make_unique<Usage::TranscriptWalk>(home);
    Overlay::OverlayPanelController controller(Overlay::OverlayPanelController::Seams{
        .monitor = monitor, .screens = screens, .origins = origins, .clock = clock,
        .timers = timers, .transcripts = *source, .homeDirectory = home,
        .executableName = {},
        .makePanel = [](Overlay::OverlayState &) { return std::make_unique<RecordingPanel>(); }});
    controller.start();
    controller.toggle(); // expanded: new counters also count up
    // Settle: the first reading is shown.
    for (int i = 0; i < 5; ++i) {
        timers.advance(1s);
        QCoreApplication::processEvents();
    }

    Figures figures;
    constexpr int idleSeconds = 60;
    const double before = cpuMilliseconds();
    for (int i = 0; i < idleSeconds; ++i) {
        timers.advance(1s);
        QCoreApplication::processEvents();
    }
    figures.idleMsPerSecond = (cpuMilliseconds() - before) / idleSeconds;

    QFile file(newest);
    if (!file.open(QIODevice::Append))
        return figures;
    std::vector<double> latencies;
    // Message ids go on from the previous run on the same home: a repeated id is not counted.
    static int next = 4;
    for (const int end = next + 100; next < end; ++next) {
        const int n = next;
        const Overlay::OverlaySnapshot &state = controller.state().snapshot();
        const std::int64_t expected = state.usage->cacheRead + 1000 + n;
        QElapsedTimer elapsed;
        elapsed.start();
        file.write(turn(n));
        file.flush();
        if (!index)
            timers.advance(Overlay::OverlayPanelController::displayInterval);
        while (state.usage->cacheRead != expected) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
            if (elapsed.elapsed() > 2000)
                break;
        }
        latencies.push_back(double(elapsed.nsecsElapsed()) / 1e6);
        // Let the count-up finish between turns, as a user would see it.
        timers.advance(2s);
        QCoreApplication::processEvents();
    }
    std::sort(latencies.begin(), latencies.end());
    figures.medianAppendMs = latencies[latencies.size() / 2];
    figures.p95AppendMs = latencies[latencies.size() * 95 / 100];
    return figures;
}

// Reads a transcript that grew by BYTES since the last read with BUDGET bytes per call: the
// longest call and the whole catch-up, in milliseconds of wall time.
struct CatchUp
{
    double longestMs = 0, totalMs = 0;
    int calls = 0;
};
CatchUp catchUp(const QString &home, std::uint64_t budget)
{
    Usage::TranscriptWalk source(home);
    Usage::TokenUsageReader reader(source);
    reader.setReadBudget(budget);
    CatchUp figures;
    QElapsedTimer total;
    total.start();
    for (bool more = true; more; ++figures.calls) {
        QElapsedTimer one;
        one.start();
        const auto read = reader.usage(Manifest::KnownHarness::ClaudeCode);
        figures.longestMs = std::max(figures.longestMs, double(one.nsecsElapsed()) / 1e6);
        more = read && !read->readToEnd;
    }
    figures.totalMs = double(total.nsecsElapsed()) / 1e6;
    return figures;
}

void catchUpFigures()
{
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral(".claude/projects/-home-u-app"));
    QDir().mkpath(folder);
    QFile file(folder + QStringLiteral("/t.jsonl"));
    if (!file.open(QIODevice::WriteOnly))
        return;
    // Turns between 300 KiB tool results, as a long session with big files read.
    const QByteArray result = "{\"type\":\"user\",\"message\":{\"content\":\"" +
                              QByteArray(300 * 1024, 'x') + "\"}}\n";
    for (int n = 0; file.size() < (qint64(2) << 30); ++n)
        file.write(result + turn(n));
    file.close();
    const std::uint64_t slice = Overlay::OverlayPanelController::readSlice;
    catchUp(home.path(), slice); // warms the page cache
    const CatchUp sliced = catchUp(home.path(), slice);
    const CatchUp whole = catchUp(home.path(), Usage::TokenUsageReader::unlimited);
    std::printf("\nCatching up with a 2 GiB transcript (hot cache)\n");
    std::printf("%-14s %8s %18s %14s\n", "reads", "calls", "longest call ms", "total ms");
    std::printf("%-14s %8d %18.1f %14.1f\n", "8 MiB slices", sliced.calls, sliced.longestMs,
                sliced.totalMs);
    std::printf("%-14s %8d %18.1f %14.1f\n", "all at once", whole.calls, whole.longestMs,
                whole.totalMs);
    std::printf("longest main-thread stall: slices x%.3f of one read; catch-up time x%.2f\n",
                sliced.longestMs / std::max(whole.longestMs, 1e-6),
                sliced.totalMs / std::max(whole.totalMs, 1e-6));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::printf("Overlay controller on the fake clock, a Claude window in front, pill expanded\n");
    std::printf("%-8s %-6s %22s %10s %20s %12s\n", "files", "source", "idle CPU ms/sim s",
                "% of core", "append->state median", "p95");
    for (const int files : {10000, 50000}) {
        QTemporaryDir home;
        const QString newest = generate(home.path(), files);
        Figures indexed, lastWalk;
        for (const bool index : {true, false}) {
            const Figures f = run(home.path(), newest, index);
            if (index)
                indexed = f;
            else
                lastWalk = f;
            std::printf("%-8d %-6s %22.3f %9.2f%% %17.3f ms %9.3f ms\n", files,
                        index ? "index" : "walk", f.idleMsPerSecond, f.idleMsPerSecond / 10.0,
                        f.medianAppendMs, f.p95AppendMs);
            std::fflush(stdout);
        }
        const Figures &walk = lastWalk;
        std::printf("%-8d walk/index: idle CPU x%.0f, append to counters x%.0f\n", files,
                    walk.idleMsPerSecond / std::max(indexed.idleMsPerSecond, 1e-6),
                    walk.medianAppendMs / std::max(indexed.medianAppendMs, 1e-6));
    }
    std::printf("targets: idle CPU under 1%% of one core (10 ms per second); append to counters "
                "under 5 ms median. \"walk\" is the reference: the same controller over a source "
                "that walks the tree at every question.\n");
    catchUpFigures();
    return 0;
}

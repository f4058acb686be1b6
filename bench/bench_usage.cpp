// Benchmarks of the desktop session file tracker, the two transcript sources and the reader on
// an appended line, printed beside their targets and beside references run on the same input.
// It never fails on a missed target: that is for a person to judge. Whole-file reading is
// orvane-bench-reading's.
//
//   orvane-bench-usage --data DIR
//
// DIR is what bench/generate.py wrote.

#include "Measure.h"
#include "usage/DesktopSessionFileTracker.h"
#include "usage/TokenUsageReader.h"
#include "usage/TranscriptIndex.h"
#include "usage/TranscriptWalk.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace Usage;
using namespace Bench;


// Bytes of the heap in use: resident memory says little once freed memory is reused.
std::size_t heapInUse()
{
    return ::mallinfo2().uordblks;
}

struct IdleFigures
{
    double walkMs = 0;
    double indexMs = 0;
};

// What the overlay does per second while nothing changes, as CPU milliseconds per second: one
// tracker poll, and over a source that reports no changes (the walk) one read of the newest
// transcript as well.
IdleFigures idle(const std::string &home, std::size_t files)
{
    const Manifest::KnownHarness harnessId = Manifest::KnownHarness::ClaudeCode;
    const QString homeDirectory = QString::fromStdString(home);
    std::printf("\n== idle overlay over %zu transcripts (%s)\n", files, home.c_str());
    const auto measure = [&](TranscriptSource &source, int simulatedSeconds) {
        TokenUsageReader reader(source);
        DesktopSessionFileTracker tracker(source);
        tracker.takeBaseline({harnessId, Manifest::KnownHarness::Codex});
        reader.usage(harnessId);
        const bool readEverySecond = !source.reportsChangesOf(harnessId);
        bool quiet = true;
        const double start = threadCpu();
        for (int second = 0; second < simulatedSeconds; ++second) {
            quiet = !tracker.poll(harnessId) && quiet;
            if (readEverySecond && !reader.usage(harnessId))
                quiet = false;
        }
        const double perSecond = (threadCpu() - start) * 1e3 / simulatedSeconds;
        return std::pair(perSecond, quiet);
    };

    TranscriptWalk walk(homeDirectory);
    const auto [walkMs, walkQuiet] = measure(walk, 30);
    std::printf("  %-52s %8.3f ms CPU per second%s\n", "walk", walkMs,
                walkQuiet ? "" : "  (something was reported!)");

    const std::size_t before = heapInUse();
    const double buildStart = threadCpu();
    const auto wallStart = Clock::now();
    TranscriptIndex index(homeDirectory);
    const double buildCpu = threadCpu() - buildStart;
    const double buildWall = seconds(Clock::now() - wallStart);
    const double memory = double(heapInUse() - before) / 1e6;
    const auto [indexMs, indexQuiet] = measure(index, 20000);
    std::printf("  %-52s %8.4f ms CPU per second%s\n", "index", indexMs,
                indexQuiet ? "" : "  (something was reported!)");
    std::printf("  index set-up: %.0f ms CPU (%.0f ms wall), %.1f MB of heap, %zu full walks\n",
                buildCpu * 1e3, buildWall * 1e3, memory, index.fullWalks());
    std::printf("  ratio walk / index: %.0fx\n", walkMs / indexMs);
    std::printf("  target idle < 10 ms CPU per second with the index: %.4f ms, %s\n", indexMs,
                verdict(indexMs < 10));
    return {walkMs, indexMs};
}

// From a line appended to the newest transcript to new counters: with the index, the inotify
// event through the event loop, the index's update, the newest path and the read; with the
// walk, only the call that walks and reads (its file watch's delay not counted).
std::pair<double, double> appended(const std::string &home)
{
    const Manifest::KnownHarness harnessId = Manifest::KnownHarness::ClaudeCode;
    const QString homeDirectory = QString::fromStdString(home);
    std::printf("\n== a line appended to the newest transcript (%s)\n", home.c_str());
    TranscriptWalk walk(homeDirectory);
    const std::string path = TokenUsageReader(walk).activeSessionPath(harnessId)->toStdString();
    const std::int64_t originalSize = fileSize(path);
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    const std::string line =
        R"({"parentUuid":"p","type":"assistant","message":{"model":"claude-sonnet-4-5-20250929","id":"msg_bench_@","type":"message","role":"assistant","content":[{"type":"text","text":"Appended by the benchmark."}],"usage":{"input_tokens":3,"cache_creation_input_tokens":120,"cache_read_input_tokens":40000,"output_tokens":25}},"uuid":"u","timestamp":"2026-01-06T10:00:00.000Z"})"
        "\n";
    int counter = 0;
    const auto appendLine = [&] {
        std::string text = line;
        text.replace(text.find('@'), 1, std::to_string(++counter));
        return ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    };

    const auto report = [](const char *what, const std::vector<double> &ms, bool counted) {
        std::printf("  %-52s median %.3f ms, p99 %.3f ms, max %.3f ms over %zu lines%s\n", what,
                    median(ms), percentile(ms, 0.99), *std::max_element(ms.begin(), ms.end()),
                    ms.size(), counted ? "" : "  (NOT every line counted)");
    };

    std::vector<double> indexMs;
    bool indexCounted = true;
    {
        TranscriptIndex index(homeDirectory);
        TokenUsageReader reader(index);
        std::int64_t output = reader.usage(harnessId)->usage.output;
        QEventLoop loop;
        bool seen = false;
        index.setChangeHandler([&] {
            const auto read = reader.usage(harnessId);
            if (read && read->usage.output != output) {
                output = read->usage.output;
                seen = true;
                loop.quit();
            }
        });
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        for (int i = 0; i < 1000; ++i) {
            seen = false;
            const auto start = Clock::now();
            if (!appendLine())
                break;
            guard.start(2000);
            if (!seen)
                loop.exec();
            indexMs.push_back(seconds(Clock::now() - start) * 1e3);
            indexCounted = indexCounted && seen;
        }
    }
    report("index: inotify event, event loop, index, read", indexMs, indexCounted);

    std::vector<double> walkMs;
    bool walkCounted = true;
    {
        TokenUsageReader reader(walk);
        std::int64_t output = reader.usage(harnessId)->usage.output;
        for (int i = 0; i < 100; ++i) {
            const auto start = Clock::now();
            if (!appendLine())
                break;
            const auto read = reader.usage(harnessId);
            walkMs.push_back(seconds(Clock::now() - start) * 1e3);
            walkCounted = walkCounted && read && read->usage.output != output;
            output = read ? read->usage.output : output;
        }
    }
    report("walk: one usage() call (walk and read)", walkMs, walkCounted);
    ::close(fd);
    if (::truncate(path.c_str(), originalSize) != 0)
        std::printf("  could not restore the transcript's size\n");
    std::printf("  target appended line to counters < 5 ms median with the index: %.3f ms, %s\n",
                median(indexMs), verdict(median(indexMs) < 5));
    return {median(indexMs), median(walkMs)};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    std::string data;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--data")
            data = argv[i + 1];
    }
    if (data.empty()) {
        std::fprintf(stderr, "usage: orvane-bench-usage --data DIR\n");
        return 2;
    }
    const QJsonObject expected =
        QJsonDocument::fromJson(QByteArray::fromStdString(readText(data + "/expected.json")))
            .object();
    printMachine();

    const IdleFigures small =
        idle(data + "/tree", std::size_t(expected.value(u"tree_files").toInteger()));
    const IdleFigures large = idle(data + "/tree-50k",
                                   std::size_t(expected.value(u"tree_50k_files").toInteger()));
    const auto [appendIndex, appendWalk] = appended(data + "/tree");

    std::printf("\n== summary (target: figure)\n");
    std::printf("  idle < 10 ms CPU/s, 10,000 files:    index %.4f %s (walk %.1f)\n",
                small.indexMs, verdict(small.indexMs < 10), small.walkMs);
    std::printf("  idle < 10 ms CPU/s, 50,000 files:    index %.4f %s (walk %.1f)\n",
                large.indexMs, verdict(large.indexMs < 10), large.walkMs);
    std::printf("  appended line < 5 ms median:         index %.3f ms %s (walk %.3f ms)\n",
                appendIndex, verdict(appendIndex < 5), appendWalk);
    printMachine();
    return 0;
}

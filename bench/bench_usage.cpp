// Benchmarks of the token usage reader, the desktop session file tracker and the two
// transcript sources, printed beside their targets and beside references run on the same input.
// It never fails on a missed target: that is for a person to judge.
//
//   orvane-bench-usage --data DIR --tool PATH [--jq PATH]
//
// DIR is what bench/generate.py wrote; PATH is orvane-usage.

#include "usage/DesktopSessionFileTracker.h"
#include "usage/TokenUsageReader.h"
#include "usage/TranscriptLineParser.h"
#include "usage/TranscriptIndex.h"
#include "usage/TranscriptWalk.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <simdjson.h>

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
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
using Clock = std::chrono::steady_clock;

struct Options
{
    std::string data;
    std::string tool;
    std::string jq = "jq";
};

double seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

// CPU time of this thread in seconds: what the overlay's main thread spends.
double threadCpu()
{
    timespec now;
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::size_t(fraction * double(values.size() - 1) + 0.5)];
}

double median(const std::vector<double> &values)
{
    return percentile(values, 0.5);
}

std::string readText(const std::string &path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

std::int64_t fileSize(const std::string &path)
{
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 ? status.st_size : 0;
}

// Bytes of the heap in use: resident memory says little once freed memory is reused.
std::size_t heapInUse()
{
    return ::mallinfo2().uordblks;
}

void warm(const std::string &path)
{
    std::vector<char> buffer(1 << 20);
    const int fd = ::open(path.c_str(), O_RDONLY);
    while (fd >= 0 && ::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    if (fd >= 0)
        ::close(fd);
}

const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

void printMachine()
{
    std::string cpu = "unknown";
    const std::string info = readText("/proc/cpuinfo");
    if (const auto at = info.find("model name"); at != std::string::npos) {
        const auto colon = info.find(':', at);
        cpu = info.substr(colon + 2, info.find('\n', colon) - colon - 2);
    }
    struct utsname name;
    ::uname(&name);
    double load[3] = {0, 0, 0};
    ::getloadavg(load, 3);
    std::printf("machine: %u cores, CPU %s, Linux %s, load average %.2f %.2f %.2f\n",
                std::thread::hardware_concurrency(), cpu.c_str(), name.release, load[0], load[1],
                load[2]);
}

struct ProcessRun
{
    double seconds = 0;
    long peakKilobytes = 0;
    int status = -1;
};

// Runs a program with stdout to OUTPUT and stderr to /dev/null; wall time and peak memory.
// fork, not posix_spawn: a child that shares this process's memory until its exec reports this
// process's peak as its own.
ProcessRun runProcess(const std::vector<std::string> &arguments,
                      const std::string &output = "/dev/null")
{
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    ProcessRun run;
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(out, 1);
        ::dup2(null, 2);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    if (pid < 0)
        return run;
    int status = 0;
    struct rusage usage;
    ::wait4(pid, &status, 0, &usage);
    run.seconds = seconds(Clock::now() - start);
    run.peakKilobytes = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The median wall time of RUNS calls, and the median CPU time of this thread.
double timeRuns(int runs, const std::function<void()> &once, double *cpuSeconds = nullptr)
{
    std::vector<double> times;
    std::vector<double> cpuTimes;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        const double cpuStart = threadCpu();
        once();
        cpuTimes.push_back(threadCpu() - cpuStart);
        times.push_back(seconds(Clock::now() - start));
    }
    if (cpuSeconds)
        *cpuSeconds = median(cpuTimes);
    return median(times);
}

bool sameAsExpected(const TokenUsage &usage, const QJsonObject &expected)
{
    return usage.cacheRead == expected.value(u"cache_read").toInteger(-1) &&
           usage.cacheWrite == expected.value(u"cache_write").toInteger(-1) &&
           usage.freshInput == expected.value(u"fresh_input").toInteger(-1) &&
           usage.output == expected.value(u"output").toInteger(-1) &&
           usage.contextWindow.value_or(-1) == expected.value(u"context_window").toInteger(-1) &&
           usage.contextUsed == expected.value(u"context_used").toInteger(-1);
}

// simdjson's validating DOM parse of the file's lines, all of them or only those holding
// KEY: what reading costs when every line, or every counted line, is parsed in full.
double domReference(const std::string &path, std::string_view key, std::size_t &objects,
                    double &cpuSeconds)
{
    return timeRuns(3, [&] {
        simdjson::padded_string text;
        if (simdjson::padded_string::load(path).get(text))
            return;
        simdjson::dom::parser parser;
        objects = 0;
        const char *data = text.data();
        const char *end = data + text.size();
        for (const char *line = data; line < end;) {
            const char *newline = static_cast<const char *>(std::memchr(line, '\n', end - line));
            if (!newline)
                break;
            const std::size_t length = std::size_t(newline - line);
            if (key.empty() || ::memmem(line, length, key.data(), key.size())) {
                simdjson::dom::element element;
                if (!parser.parse(line, length, false).get(element) && element.is_object())
                    ++objects;
            }
            line = newline + 1;
        }
    }, &cpuSeconds);
}

struct ReadingFigures
{
    double ratePerSecond = 0; // bytes
    bool correct = false;
};

ReadingFigures reading(const Options &options, const char *harness, const std::string &home,
                       const QJsonObject &expected, const std::string &jqFilter)
{
    const Manifest::KnownHarness harnessId = *Manifest::knownHarness(QString::fromLatin1(harness));
    TranscriptWalk walk(QString::fromStdString(home));
    const std::string path =
        TokenUsageReader(walk).activeSessionPath(harnessId).value_or(QByteArray()).toStdString();
    const double bytes = double(fileSize(path));
    const double megabytes = bytes / 1e6;
    std::printf("\n== %s: whole-file reading of %.1f MB (%s)\n", harness, megabytes, path.c_str());
    warm(path);

    std::optional<SessionUsage> read;
    double oursCpu = 0;
    const double ours = timeRuns(
        9,
        [&] {
            TokenUsageReader reader(walk);
            read = reader.usage(harnessId);
        },
        &oursCpu);
    const bool correct = read && sameAsExpected(read->usage, expected);
    std::printf("  %-52s %8.3f s  %8.0f MB/s  CPU %.3f s, %.0f MB/s  %s\n",
                "TokenUsageReader::usage (in process)", ours, megabytes / ours, oursCpu,
                megabytes / oursCpu,
                correct ? "answer matches the generator's totals" : "ANSWER DIFFERS");

    // The text every counted line holds, as the reader looks for it.
    const std::string_view key = TranscriptLineParser::requiredText(dialectFor(harnessId));
    std::size_t objects = 0;
    double everyLineCpu = 0;
    const double everyLine = domReference(path, {}, objects, everyLineCpu);
    std::printf("  %-52s %8.3f s  %8.0f MB/s  CPU %.3f s, %.0f MB/s (%zu objects)\n",
                "simdjson DOM parse of every line (in process)", everyLine, megabytes / everyLine,
                everyLineCpu, megabytes / everyLineCpu, objects);
    double keyLinesCpu = 0;
    const double keyLines = domReference(path, key, objects, keyLinesCpu);
    std::printf("  %-52s %8.3f s  %8.0f MB/s  CPU %.3f s, %.0f MB/s (%zu objects)\n",
                ("simdjson DOM parse of the lines with " + std::string(key)).c_str(), keyLines,
                megabytes / keyLines, keyLinesCpu, megabytes / keyLinesCpu, objects);

    std::vector<double> toolTimes;
    long toolPeak = 0;
    for (int i = 0; i < 5; ++i) {
        const ProcessRun run =
            runProcess({options.tool, "--home", home, "--harness", harness}, "/dev/null");
        toolTimes.push_back(run.seconds);
        toolPeak = std::max(toolPeak, run.peakKilobytes);
    }
    const double tool = median(toolTimes);
    std::printf("  %-52s %8.3f s  %8.0f MB/s  peak %.1f MB\n", "orvane-usage (whole process)",
                tool, megabytes / tool, double(toolPeak) / 1024);

    std::vector<double> jqTimes;
    long jqPeak = 0;
    for (int i = 0; i < 2; ++i) {
        const ProcessRun run = runProcess({options.jq, "-c", jqFilter, path});
        jqTimes.push_back(run.seconds);
        jqPeak = std::max(jqPeak, run.peakKilobytes);
    }
    const double jq = median(jqTimes);
    std::printf("  %-52s %8.3f s  %8.0f MB/s  peak %.1f MB\n",
                ("jq -c '" + jqFilter + "' (whole process)").c_str(), jq, megabytes / jq,
                double(jqPeak) / 1024);
    std::printf("  ratios (CPU): reader %.2fx faster than the DOM parse of every line, %.2fx than "
                "that of the counted lines; orvane-usage %.1fx faster than jq (wall)\n",
                everyLineCpu / oursCpu, keyLinesCpu / oursCpu, jq / tool);
    // CPU time: on a shared machine the wall time measures the other processes as well.
    std::printf("  target whole-file reading >= 2000 MB/s, validating: %.0f MB/s CPU (%.0f wall), "
                "%s\n",
                megabytes / oursCpu, megabytes / ours, verdict(megabytes / oursCpu >= 2000));
    return {bytes / oursCpu, correct};
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
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--data")
            options.data = value;
        else if (name == "--tool")
            options.tool = value;
        else if (name == "--jq")
            options.jq = value;
    }
    if (options.data.empty() || options.tool.empty()) {
        std::fprintf(stderr, "usage: orvane-bench-usage --data DIR --tool PATH [--jq PATH]\n");
        return 2;
    }
    const QJsonObject expected =
        QJsonDocument::fromJson(QByteArray::fromStdString(readText(options.data + "/expected.json")))
            .object();
    printMachine();

    const ReadingFigures claude =
        reading(options, "claude-code", options.data + "/claude",
                expected.value(u"claude-code").toObject(), ".message.usage // empty");
    const ReadingFigures codex =
        reading(options, "codex", options.data + "/codex", expected.value(u"codex").toObject(),
                ".payload.info // empty");
    const IdleFigures small =
        idle(options.data + "/tree", std::size_t(expected.value(u"tree_files").toInteger()));
    const IdleFigures large = idle(options.data + "/tree-50k",
                                   std::size_t(expected.value(u"tree_50k_files").toInteger()));
    const auto [appendIndex, appendWalk] = appended(options.data + "/tree");

    std::printf("\n== summary (target: figure)\n");
    std::printf("  reading >= 2000 MB/s CPU, validating: claude-code %.0f MB/s %s%s, codex %.0f "
                "MB/s %s%s\n",
                claude.ratePerSecond / 1e6, verdict(claude.ratePerSecond >= 2e9),
                claude.correct ? "" : " (WRONG ANSWER)", codex.ratePerSecond / 1e6,
                verdict(codex.ratePerSecond >= 2e9), codex.correct ? "" : " (WRONG ANSWER)");
    std::printf("  idle < 10 ms CPU/s, 10,000 files:    index %.4f %s (walk %.1f)\n",
                small.indexMs, verdict(small.indexMs < 10), small.walkMs);
    std::printf("  idle < 10 ms CPU/s, 50,000 files:    index %.4f %s (walk %.1f)\n",
                large.indexMs, verdict(large.indexMs < 10), large.walkMs);
    std::printf("  appended line < 5 ms median:         index %.3f ms %s (walk %.3f ms)\n",
                appendIndex, verdict(appendIndex < 5), appendWalk);
    printMachine();
    return 0;
}

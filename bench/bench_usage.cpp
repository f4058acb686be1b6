// Benchmarks of the token usage reader, the desktop session file tracker and the orvane-usage
// tool against the programs people use for the same job. Prints figures beside their targets;
// it never fails on a missed target (that is for a person to judge).
//
//   orvane-bench-usage --data DIR --tool PATH [--ccusage PATH] [--jq PATH]
//
// DIR is what bench/generate.py wrote.

#include "usage/DesktopSessionFileTracker.h"
#include "usage/TokenUsageReader.h"

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace {

using namespace Usage;

using Clock = std::chrono::steady_clock;

struct Options
{
    std::string data;
    std::string tool;
    std::string ccusage;
    std::string jq = "jq";
};

struct ProcessRun
{
    double seconds = 0;
    long peakKilobytes = 0;
    int status = -1;
};

double seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::size_t(fraction * double(values.size() - 1))];
}

// Runs a program with stdout to OUTPUT (or /dev/null) and stderr to /dev/null; wall time and
// the peak resident set reported by wait4.
ProcessRun runProcess(const std::vector<std::string> &arguments,
                      const std::vector<std::string> &extraEnvironment = {},
                      const std::string &output = "/dev/null")
{
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> environment(extraEnvironment);
    for (char **entry = environ; *entry; ++entry)
        environment.emplace_back(*entry);
    std::vector<char *> envp;
    for (std::string &entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ProcessRun run;
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return run;
    }
    int status = 0;
    struct rusage usage;
    ::wait4(pid, &status, 0, &usage);
    run.seconds = seconds(Clock::now() - start);
    run.peakKilobytes = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

struct Summary
{
    double medianSeconds = 0;
    double bestSeconds = 0;
    long peakKilobytes = 0;
    int status = 0;
};

Summary repeat(int runs, const std::function<ProcessRun()> &once)
{
    std::vector<double> times;
    Summary summary;
    for (int i = 0; i < runs; ++i) {
        const ProcessRun run = once();
        times.push_back(run.seconds);
        summary.peakKilobytes = std::max(summary.peakKilobytes, run.peakKilobytes);
        if (run.status != 0)
            summary.status = run.status;
    }
    summary.medianSeconds = median(times);
    summary.bestSeconds = *std::min_element(times.begin(), times.end());
    return summary;
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
    std::printf("machine: %u cores (nproc %ld), CPU %s, Linux %s, load average %.2f %.2f %.2f\n",
                std::thread::hardware_concurrency(), ::sysconf(_SC_NPROCESSORS_ONLN), cpu.c_str(),
                name.release, load[0], load[1], load[2]);
}

// Compares the tool's one-line answer with the totals the generator computed.
void checkAnswer(const std::string &answerPath, const QJsonObject &expected)
{
    const QByteArray answer = QByteArray::fromStdString(readText(answerPath));
    const QJsonObject got = QJsonDocument::fromJson(answer).object();
    bool same = !got.isEmpty();
    for (const char *key :
         {"cache_read", "cache_write", "fresh_input", "output", "context_window", "context_used"}) {
        const QString name = QString::fromLatin1(key);
        if (got.value(name).toInteger(-1) != expected.value(name).toInteger(-1))
            same = false;
    }
    std::printf("  answer: %s  -> %s\n", answer.trimmed().constData(),
                same ? "matches the generator's totals" : "DIFFERS from the generator's totals");
}

struct Dialect
{
    const char *harness;
    std::string home;       // for orvane-usage
    std::string transcript; // the large file
    std::vector<std::string> ccusageArguments;
    std::vector<std::string> ccusageEnvironment;
    std::string jqFilter;
    std::string appendedLine; // %d is replaced by a counter
};

void readingFigures(const Options &options, const Dialect &dialect, const QJsonObject &expected)
{
    const double megabytes = double(fileSize(dialect.transcript)) / 1e6;
    std::printf("\n== %s: whole-file reading of %.1f MB (%s)\n", dialect.harness, megabytes,
                dialect.transcript.c_str());
    warm(dialect.transcript);

    const std::string answer = options.data + "/answer-" + dialect.harness + ".json";
    const Summary ours = repeat(7, [&] {
        return runProcess({options.tool, "--home", dialect.home, "--harness", dialect.harness}, {},
                          answer);
    });
    checkAnswer(answer, expected);
    const double ourRate = megabytes / ours.medianSeconds;
    std::printf("  %-44s %9.3f s (best %.3f)  %8.0f MB/s  peak %6.1f MB\n", "orvane-usage",
                ours.medianSeconds, ours.bestSeconds, ourRate, double(ours.peakKilobytes) / 1024);

    std::optional<Summary> ccusage;
    if (!options.ccusage.empty()) {
        std::vector<std::string> arguments{options.ccusage};
        arguments.insert(arguments.end(), dialect.ccusageArguments.begin(),
                         dialect.ccusageArguments.end());
        const std::string output = options.data + "/ccusage-" + dialect.harness + ".json";
        ccusage =
            repeat(3, [&] { return runProcess(arguments, dialect.ccusageEnvironment, output); });
        std::printf("  %-44s %9.3f s (best %.3f)  %8.0f MB/s  peak %6.1f MB%s\n", "ccusage 20.0.24",
                    ccusage->medianSeconds, ccusage->bestSeconds,
                    megabytes / ccusage->medianSeconds, double(ccusage->peakKilobytes) / 1024,
                    ccusage->status == 0 ? "" : "  (exit status not 0)");
        const std::string text = readText(output);
        std::printf("  ccusage output: %zu bytes, %s\n", text.size(),
                    text.find("totalTokens") != std::string::npos ? "with totals"
                                                                  : "WITHOUT totals");
    }
    const Summary jq = repeat(3, [&] {
        return runProcess({options.jq, "-c", dialect.jqFilter, dialect.transcript});
    });
    std::printf("  %-44s %9.3f s (best %.3f)  %8.0f MB/s  peak %6.1f MB\n",
                ("jq -c '" + dialect.jqFilter + "'").c_str(), jq.medianSeconds, jq.bestSeconds,
                megabytes / jq.medianSeconds, double(jq.peakKilobytes) / 1024);

    std::printf("  target reading >= 1000 MB/s: %.0f MB/s, %s\n", ourRate,
                verdict(ourRate >= 1000));
    if (ccusage) {
        const double ratio = ccusage->medianSeconds / ours.medianSeconds;
        std::printf("  target >= 2x faster than ccusage: %.1fx, %s\n", ratio, verdict(ratio >= 2));
    }
    const double jqRatio = jq.medianSeconds / ours.medianSeconds;
    std::printf("  target >= 10x faster than jq: %.1fx, %s\n", jqRatio, verdict(jqRatio >= 10));
    const double peak = double(ours.peakKilobytes) / 1024;
    std::printf("  target peak memory < 32 MB: %.1f MB, %s\n", peak, verdict(peak < 32));
}

void appendedLineFigures(const Dialect &dialect)
{
    std::printf("\n== %s: one usage() call after one appended line\n", dialect.harness);
    const QString harness = QString::fromLatin1(dialect.harness);
    TokenUsageReader reader(QString::fromStdString(dialect.home));
    const auto start = Clock::now();
    const auto first = reader.usage(harness);
    const double firstSeconds = seconds(Clock::now() - start);
    if (!first) {
        std::printf("  no transcript\n");
        return;
    }
    std::printf("  first call (whole file, in process): %.3f s, %.0f MB/s\n", firstSeconds,
                double(fileSize(dialect.transcript)) / 1e6 / firstSeconds);

    const std::int64_t originalSize = fileSize(dialect.transcript);
    const int fd = ::open(dialect.transcript.c_str(), O_WRONLY | O_APPEND);
    std::vector<double> micros;
    std::int64_t lastOutput = first->output;
    bool counted = true;
    for (int i = 0; i < 1000; ++i) {
        std::string line = dialect.appendedLine;
        const std::string number = std::to_string(1000000 + i);
        line.replace(line.find("%d"), 2, number);
        if (::write(fd, line.data(), line.size()) != ssize_t(line.size()))
            break;
        const auto before = Clock::now();
        const auto usage = reader.usage(harness);
        micros.push_back(seconds(Clock::now() - before) * 1e6);
        if (!usage || usage->output == lastOutput)
            counted = false;
        if (usage)
            lastOutput = usage->output;
    }
    ::close(fd);
    if (::truncate(dialect.transcript.c_str(), originalSize) != 0)
        std::printf("  could not restore the transcript's size\n");
    const double middle = median(micros);
    std::printf("  %zu calls: median %.1f us, p90 %.1f us, max %.1f us (each line %s)\n",
                micros.size(), middle, percentile(micros, 0.9),
                *std::max_element(micros.begin(), micros.end()),
                counted ? "counted" : "NOT always counted");
    std::printf("  target < 50 us: %.1f us, %s\n", middle, verdict(middle < 50));
}

void treeFigures(const Options &options, const char *harness)
{
    const std::string home = options.data + "/tree";
    DesktopSessionFileTracker tracker(QString::fromStdString(home));
    const QString harnessId = QString::fromLatin1(harness);
    const std::string root = tracker.root(harnessId)->toStdString();
    std::printf("\n== %s: transcript tree %s\n", harness, root.c_str());

    TokenUsageReader reader(QString::fromStdString(home));
    std::vector<double> active;
    std::optional<QString> newest;
    for (int i = 0; i < 31; ++i) {
        const auto start = Clock::now();
        newest = reader.activeSessionPath(harnessId);
        active.push_back(seconds(Clock::now() - start) * 1e3);
    }

    const QList<FileState> files = tracker.scan(harnessId);
    QSet<QString> paths;
    for (const FileState &file : files)
        paths.insert(file.path);
    tracker.knownPaths().insert(harnessId, paths);
    tracker.setInitialized(true);
    std::vector<double> polls;
    bool quiet = true;
    for (int i = 0; i < 31; ++i) {
        const auto start = Clock::now();
        if (tracker.poll(harnessId))
            quiet = false;
        polls.push_back(seconds(Clock::now() - start) * 1e3);
    }

    std::vector<double> finds;
    for (int i = 0; i < 31; ++i) {
        finds.push_back(
            runProcess({"find", root, "-name", "*.jsonl", "-printf", "%T@ %s %p\n"}).seconds * 1e3);
    }
    const double activeMs = median(active);
    const double pollMs = median(polls);
    const double findMs = median(finds);
    std::printf("  %lld transcripts; newest %s\n", static_cast<long long>(files.size()),
                newest ? newest->toStdString().c_str() : "none");
    std::printf("  %-44s %8.2f ms\n", "activeSessionPath (in process)", activeMs);
    std::printf("  %-44s %8.2f ms%s\n", "tracker poll (in process)", pollMs,
                quiet ? "" : "  (reported an event!)");
    std::printf("  %-44s %8.2f ms\n", "find -name '*.jsonl' -printf (process)", findMs);
    std::printf("  target activeSessionPath <= 1.5x find: %.2fx, %s\n", activeMs / findMs,
                verdict(activeMs / findMs <= 1.5));
    std::printf("  target tracker poll <= 1.5x find: %.2fx, %s\n", pollMs / findMs,
                verdict(pollMs / findMs <= 1.5));
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--data")
            options.data = value;
        else if (name == "--tool")
            options.tool = value;
        else if (name == "--ccusage")
            options.ccusage = value;
        else if (name == "--jq")
            options.jq = value;
    }
    if (options.data.empty() || options.tool.empty()) {
        std::fprintf(
            stderr,
            "usage: orvane-bench-usage --data DIR --tool PATH [--ccusage PATH] [--jq PATH]\n");
        return 2;
    }
    const QJsonObject expected =
        QJsonDocument::fromJson(
            QByteArray::fromStdString(readText(options.data + "/expected.json")))
            .object();

    printMachine();

    const std::string claudeHome = options.data + "/claude";
    const std::string codexHome = options.data + "/codex";
    const Dialect claude{
        "claude-code",
        claudeHome,
        Usage::TokenUsageReader(QString::fromStdString(claudeHome))
            .activeSessionPath(QStringLiteral("claude-code"))
            .value_or(QString())
            .toStdString(),
        {"claude", "session", "--json", "--offline"},
        {"CLAUDE_CONFIG_DIR=" + options.data + "/claude-config"},
        ".message.usage // empty",
        R"({"parentUuid":"p","type":"assistant","message":{"model":"claude-sonnet-4-5-20250929","id":"msg_bench_%d","type":"message","role":"assistant","content":[{"type":"text","text":"Appended by the benchmark."}],"usage":{"input_tokens":3,"cache_creation_input_tokens":120,"cache_read_input_tokens":40000,"output_tokens":25}},"uuid":"u","timestamp":"2026-01-06T10:00:00.000Z"})"
        "\n"};
    const Dialect codex{
        "codex",
        codexHome,
        Usage::TokenUsageReader(QString::fromStdString(codexHome))
            .activeSessionPath(QStringLiteral("codex"))
            .value_or(QString())
            .toStdString(),
        {"codex", "session", "--json", "--offline"},
        {"CODEX_HOME=" + codexHome + "/.codex"},
        ".payload.info // empty",
        R"({"timestamp":"2026-01-06T10:00:00.000Z","type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":900000,"cached_input_tokens":400000,"output_tokens":%d,"reasoning_output_tokens":7,"total_tokens":1},"last_token_usage":{"input_tokens":5000,"output_tokens":1},"model_context_window":272000},"rate_limits":null}})"
        "\n"};

    readingFigures(options, claude, expected.value(u"claude-code").toObject());
    appendedLineFigures(claude);
    readingFigures(options, codex, expected.value(u"codex").toObject());
    appendedLineFigures(codex);
    treeFigures(options, "claude-code");
    treeFigures(options, "codex");
    std::printf("\n");
    printMachine();
    return 0;
}

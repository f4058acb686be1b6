// Whole-file reading (the first read of a long conversation), printed beside its targets and
// beside references run on the same files in the same run: `cat FILE > /dev/null` (the page
// cache's own limit), jq, the reader with mapping and parts turned off, and optionally an
// earlier build of orvane-usage. It never fails on a missed target: that is for a person to
// judge.
//
//   orvane-bench-reading --data DIR --tool PATH [--sized DIR] [--jq PATH] [--before PATH]
//
// DIR is what bench/generate.py wrote (its real-shaped transcripts), --sized what
// `generate.py DIR --sizes ...` wrote; PATH is orvane-usage, --before an earlier one.

#include "Measure.h"
#include "manifest/KnownHarness.h"
#include "usage/TokenUsageReader.h"
#include "usage/TranscriptWalk.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace Bench;
using namespace Usage;

// Targets.
constexpr double leastRate = 4000; // MB/s
constexpr double mostOfCat = 1.25; // times cat's wall time
constexpr double leastOverJq = 15; // times faster than jq
constexpr double mostPeakMb = 16;  // peak resident memory of the whole process

struct Options
{
    std::string data;
    std::string sized;
    std::string tool;
    std::string jq;
    std::string before;
};

struct Input
{
    std::string label;
    Manifest::KnownHarness harness;
    std::string home;
    QJsonObject expected;
};

struct Figures
{
    std::string label;
    double megabytes = 0;
    double rate = 0;       // orvane-usage, MB/s of wall time
    double ofCat = 0;      // orvane-usage's wall time over cat's
    double overJq = 0;     // jq's wall time over orvane-usage's; 0 without jq
    double peakMb = 0;     // orvane-usage
    double overBefore = 0; // the earlier build's wall time over this one's; 0 without it
    bool correct = false;
};

bool sameAsExpected(const TokenUsage &usage, const QJsonObject &expected)
{
    return usage.cacheRead == expected.value(u"cache_read").toInteger(-1) &&
           usage.cacheWrite == expected.value(u"cache_write").toInteger(-1) &&
           usage.freshInput == expected.value(u"fresh_input").toInteger(-1) &&
           usage.output == expected.value(u"output").toInteger(-1) &&
           usage.contextWindow.value_or(-1) == expected.value(u"context_window").toInteger(-1) &&
           usage.contextUsed == expected.value(u"context_used").toInteger(-1);
}

struct ProcessFigures
{
    double seconds = 0;
    double cpuSeconds = 0;
    double peakMb = 0;
};

// The median figures of each command's runs (RUNS, as many as the rounds), the commands taken
// in turn in every round: the machine is shared, and a build that starts meanwhile slows them
// all alike rather than the one being timed then.
std::vector<ProcessFigures> runMedians(const std::vector<int> &runs,
                                       const std::vector<std::vector<std::string>> &commands)
{
    std::vector<std::vector<double>> times(commands.size()), cpuTimes(commands.size());
    std::vector<long> peaks(commands.size());
    const int rounds = *std::max_element(runs.begin(), runs.end());
    for (int i = 0; i < rounds; ++i) {
        for (std::size_t at = 0; at < commands.size(); ++at) {
            if (i >= runs[at])
                continue;
            const ProcessRun run = runProcess(commands[at]);
            times[at].push_back(run.seconds);
            cpuTimes[at].push_back(run.cpuSeconds);
            peaks[at] = std::max(peaks[at], run.peakKilobytes);
        }
    }
    std::vector<ProcessFigures> figures;
    for (std::size_t at = 0; at < commands.size(); ++at)
        figures.push_back({median(times[at]), median(cpuTimes[at]), double(peaks[at]) / 1024});
    return figures;
}

void printRow(const char *what, double seconds, double megabytes, const std::string &more = {})
{
    std::printf("  %-46s %8.3f s %7.0f MB/s  %s\n", what, seconds, megabytes / seconds,
                more.c_str());
}

std::string format(const char *pattern, double a, double b = 0)
{
    char text[160];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

Figures reading(const Options &options, const Input &input)
{
    TranscriptWalk walk(QString::fromStdString(input.home));
    const std::string path = TokenUsageReader(walk)
                                 .activeSessionPath(input.harness)
                                 .value_or(QByteArray())
                                 .toStdString();
    const double megabytes = double(fileSize(path)) / 1e6;
    const std::string id = Manifest::harnessId(input.harness).toStdString();
    std::printf("\n== %s: %.1f MB (%s)\n", input.label.c_str(), megabytes, path.c_str());
    warm(path);
    const bool big = megabytes > 500;
    const int runs = big ? 5 : 9;

    // jq in the same rounds, fewer of them: it takes 30 times longer.
    const std::string filter = input.harness == Manifest::KnownHarness::ClaudeCode
                                   ? ".message.usage // empty"
                                   : ".payload.info // empty";
    std::vector<std::vector<std::string>> commands = {
        {"cat", path}, {options.tool, "--home", input.home, "--harness", id}};
    std::vector<int> counts = {runs, runs};
    const std::size_t jqAt = commands.size();
    if (!options.jq.empty()) {
        commands.push_back({options.jq, "-c", filter, path});
        counts.push_back(big ? 1 : 3);
    }
    const std::size_t beforeAt = commands.size();
    if (!options.before.empty()) {
        commands.push_back({options.before, "--home", input.home, "--harness", id});
        counts.push_back(runs);
    }
    const std::vector<ProcessFigures> processes = runMedians(counts, commands);
    const ProcessFigures &cat = processes[0];
    const ProcessFigures &tool = processes[1];
    printRow("cat FILE > /dev/null (the page cache's limit)", cat.seconds, megabytes,
             format("CPU %.3f s", cat.cpuSeconds));
    printRow("orvane-usage (whole process)", tool.seconds, megabytes,
             format("CPU %.3f s, peak %.1f MB, ", tool.cpuSeconds, tool.peakMb) +
                 format("%.2fx cat's time", tool.seconds / cat.seconds));

    // In process: the reader as it is, and with its ways of reading turned off one at a time.
    struct Variant
    {
        const char *name;
        MappedReading::Settings settings;
    };
    const Variant variants[] = {
        {"TokenUsageReader::usage (in process)", {}},
        {"  the same, mapped in one part", {.parts = 1}},
        {"  the same, read into windows, in parts", {.map = false}},
        {"  the same, chunked on one thread",
         {.threshold = std::numeric_limits<std::uint64_t>::max()}},
    };
    double first = 0;
    bool correct = true;
    for (const Variant &variant : variants) {
        std::optional<SessionUsage> read;
        double cpu = 0;
        const double wall = timeRuns(
            runs,
            [&] {
                TokenUsageReader reader(walk);
                reader.setMappedReading(variant.settings);
                read = reader.usage(input.harness);
            },
            &cpu, CLOCK_PROCESS_CPUTIME_ID);
        const bool right = read && sameAsExpected(read->usage, input.expected);
        correct = correct && right;
        first = first > 0 ? first : wall;
        printRow(variant.name, wall, megabytes,
                 format("CPU %.3f s (every thread), %.2fx the first's time", cpu, wall / first) +
                     (right ? "" : ", ANSWER DIFFERS"));
    }
    Figures figures{input.label,
                    megabytes,
                    megabytes / tool.seconds,
                    tool.seconds / cat.seconds,
                    0,
                    tool.peakMb,
                    0,
                    correct};
    if (!options.before.empty()) {
        const ProcessFigures &before = processes[beforeAt];
        figures.overBefore = before.seconds / tool.seconds;
        printRow("before: the earlier orvane-usage", before.seconds, megabytes,
                 format("CPU %.3f s, peak %.1f MB, ", before.cpuSeconds, before.peakMb) +
                     format("%.2fx cat's time", before.seconds / cat.seconds));
    }
    if (!options.jq.empty()) {
        const ProcessFigures &jq = processes[jqAt];
        figures.overJq = jq.seconds / tool.seconds;
        printRow(("jq -c '" + filter + "'").c_str(), jq.seconds, megabytes,
                 format("CPU %.3f s, peak %.1f MB", jq.cpuSeconds, jq.peakMb));
    }
    std::printf("  targets: >= %.0f MB/s: %.0f %s; <= %.2fx cat: %.2fx %s; ", leastRate,
                figures.rate, verdict(figures.rate >= leastRate), mostOfCat, figures.ofCat,
                verdict(figures.ofCat <= mostOfCat));
    if (figures.overJq > 0)
        std::printf(">= %.0fx jq: %.1fx %s; ", leastOverJq, figures.overJq,
                    verdict(figures.overJq >= leastOverJq));
    std::printf("peak < %.0f MB: %.1f %s\n", mostPeakMb, figures.peakMb,
                verdict(figures.peakMb < mostPeakMb));
    return figures;
}

std::vector<Input> inputs(const Options &options)
{
    std::vector<Input> all;
    const auto expectedIn = [](const std::string &folder) {
        return QJsonDocument::fromJson(
                   QByteArray::fromStdString(readText(folder + "/expected.json")))
            .object();
    };
    const QJsonObject real = expectedIn(options.data);
    all.push_back({"claude-code, real-shaped", Manifest::KnownHarness::ClaudeCode,
                   options.data + "/claude", real.value(u"claude-code").toObject()});
    all.push_back({"codex, real-shaped", Manifest::KnownHarness::Codex, options.data + "/codex",
                   real.value(u"codex").toObject()});
    if (options.sized.empty())
        return all;
    const QJsonObject sized = expectedIn(options.sized);
    for (const QString &key : sized.keys()) {
        const bool claude = key.startsWith(u"claude-code-");
        const QString size = key.section(u'-', -1);
        const std::string folder = (claude ? "/claude-" : "/codex-") + size.toStdString();
        all.push_back({key.toStdString() + " MB",
                       claude ? Manifest::KnownHarness::ClaudeCode : Manifest::KnownHarness::Codex,
                       options.sized + folder, sized.value(key).toObject()});
    }
    std::sort(all.begin() + 2, all.end(), [](const Input &a, const Input &b) {
        return a.home.size() != b.home.size() ? a.home.size() < b.home.size() : a.home < b.home;
    });
    return all;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        std::string *target = name == "--data"     ? &options.data
                              : name == "--sized"  ? &options.sized
                              : name == "--tool"   ? &options.tool
                              : name == "--jq"     ? &options.jq
                              : name == "--before" ? &options.before
                                                   : nullptr;
        if (target)
            *target = argv[i + 1];
    }
    if (options.data.empty() || options.tool.empty()) {
        std::fprintf(stderr, "usage: orvane-bench-reading --data DIR --tool PATH [--sized DIR] "
                             "[--jq PATH] [--before PATH]\n");
        return 2;
    }
    printMachine();
    if (options.jq.empty())
        std::printf("jq not found: its comparison is skipped (scripts/dev bench installs it)\n");
    std::vector<Figures> all;
    for (const Input &input : inputs(options))
        all.push_back(reading(options, input));

    std::printf("\n== summary: orvane-usage, whole process (target: figure)\n");
    std::printf("  %-26s %9s %14s %11s %12s %10s\n", "input", "MB", ">= 4000 MB/s", "<= 1.25x cat",
                ">= 15x jq", "< 16 MB");
    for (const Figures &figures : all) {
        std::printf("  %-26s %9.1f %9.0f %-6s %5.2fx %-6s %5.1fx %-6s %5.1f %-6s",
                    figures.label.c_str(), figures.megabytes, figures.rate,
                    verdict(figures.rate >= leastRate), figures.ofCat,
                    verdict(figures.ofCat <= mostOfCat), figures.overJq,
                    figures.overJq > 0 ? verdict(figures.overJq >= leastOverJq) : "-",
                    figures.peakMb, verdict(figures.peakMb < mostPeakMb));
        if (figures.overBefore > 0)
            std::printf(" %.2fx faster than before", figures.overBefore);
        std::printf("%s\n", figures.correct ? "" : " WRONG ANSWER");
    }
    printMachine();
    return 0;
}

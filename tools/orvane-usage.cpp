// orvane-usage --home DIR --harness claude-code|codex
//
// Prints the harness's newest transcript below DIR and its token usage as one JSON object on
// one line, read by the same reader the overlay uses, or `null` when the harness has no
// transcript. Exit status 0 in both cases, 2 for a wrong command line. CLAUDE_CONFIG_DIR and
// XDG_CONFIG_HOME move Claude's roots away from DIR as they do for the overlay.

#include "manifest/KnownHarness.h"
#include "usage/TokenUsageReader.h"
#include "usage/TranscriptWalk.h"

#include <QString>

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view usageText =
    "usage: orvane-usage --home DIR --harness claude-code|codex\n";

int commandLineError(std::string_view message)
{
    std::fprintf(stderr, "orvane-usage: %.*s\n%.*s", int(message.size()), message.data(),
                 int(usageText.size()), usageText.data());
    return 2;
}

void appendJsonString(std::string &out, std::string_view text)
{
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(byte));
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendField(std::string &out, std::string_view key, std::int64_t value)
{
    out += ",\"";
    out += key;
    out += "\":";
    out += std::to_string(value);
}

void appendNumber(std::string &out, double value)
{
    char number[32];
    const auto end = std::to_chars(number, number + sizeof number, value).ptr;
    out.append(number, end);
}

void appendWindow(std::string &out, const std::optional<Usage::QuotaWindow> &window)
{
    if (!window) {
        out += "null";
        return;
    }
    out += "{\"used_percent\":";
    appendNumber(out, window->usedPercent);
    appendField(out, "window_minutes", window->windowMinutes);
    if (window->resetsAt)
        appendField(out, "resets_at", *window->resetsAt);
    else
        out += ",\"resets_at\":null";
    out += '}';
}

std::string describe(const QByteArray &path, const Usage::TokenUsage &usage,
                     const Usage::QuotaWindows &quota)
{
    std::string out = "{\"path\":";
    appendJsonString(out, path.toStdString());
    appendField(out, "cache_read", usage.cacheRead);
    appendField(out, "cache_write", usage.cacheWrite);
    appendField(out, "fresh_input", usage.freshInput);
    appendField(out, "output", usage.output);
    if (usage.contextWindow)
        appendField(out, "context_window", *usage.contextWindow);
    else
        out += ",\"context_window\":null";
    appendField(out, "context_used", usage.contextUsed);
    appendField(out, "total", usage.total());
    out += ",\"context_fraction\":";
    if (const auto fraction = usage.contextFraction())
        appendNumber(out, *fraction);
    else
        out += "null";
    // Codex's quota windows, as its rate_limits name them.
    out += ",\"rate_limits\":";
    if (quota.empty()) {
        out += "null";
    } else {
        out += "{\"primary\":";
        appendWindow(out, quota.primary);
        out += ",\"secondary\":";
        appendWindow(out, quota.secondary);
        out += '}';
    }
    out += '}';
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    std::optional<std::string_view> home;
    std::optional<std::string_view> harness;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument(argv[i]);
        if (argument == "--help" || argument == "-h") {
            std::fputs(usageText.data(), stdout);
            return 0;
        }
        std::optional<std::string_view> *target = nullptr;
        std::string_view name = argument;
        std::optional<std::string_view> inlineValue;
        if (const auto equals = argument.find('='); equals != std::string_view::npos) {
            name = argument.substr(0, equals);
            inlineValue = argument.substr(equals + 1);
        }
        if (name == "--home")
            target = &home;
        else if (name == "--harness")
            target = &harness;
        else
            return commandLineError("unknown argument: " + std::string(argument));
        if (*target)
            return commandLineError(std::string(name) + " given twice");
        if (inlineValue) {
            *target = inlineValue;
        } else if (i + 1 < argc) {
            *target = std::string_view(argv[++i]);
        } else {
            return commandLineError(std::string(name) + " needs a value");
        }
    }
    if (!home || home->empty())
        return commandLineError("--home DIR is required");
    if (!harness)
        return commandLineError("--harness is required");
    const auto known =
        Manifest::knownHarness(QString::fromUtf8(harness->data(), qsizetype(harness->size())));
    if (!known)
        return commandLineError("the harness must be claude-code or codex");

    // One question: a walk costs less than setting up an index.
    // The folder's name as given, bytes to the end: it need not be UTF-8.
    Usage::TranscriptWalk source{std::string(*home), Usage::RootEnvironment::fromProcess()};
    Usage::TokenUsageReader reader(source);
    const auto read = reader.usage(*known);
    std::string line = read ? describe(read->path, read->usage, read->quota) : std::string("null");
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

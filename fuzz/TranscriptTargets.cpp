#include "TranscriptTargets.h"

#include "ReferenceJson.h"

#include "usage/FileProgress.h"
#include "usage/TranscriptLineParser.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace Fuzz {

namespace {

using Usage::FileProgress;
using Usage::TokenUsage;
using Usage::TranscriptDialect;

constexpr std::int64_t int64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t int64Min = std::numeric_limits<std::int64_t>::min();

void require(bool condition, const char *promise)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz target broke a promise: %s\n", promise);
    std::fflush(stderr);
    std::abort();
}

// The reference keeps its own arithmetic: sums in 128 bits, then clamped to 64.
__extension__ using Wide = __int128;

std::int64_t clamp(Wide value)
{
    return value > int64Max ? int64Max : value < int64Min ? int64Min : std::int64_t(value);
}

std::int64_t add(std::int64_t a, std::int64_t b)
{
    return clamp(Wide(a) + b);
}

// A counter's value, from the number as written: a whole literal is its value, anything else
// the nearest double truncated toward zero; beyond the 64-bit range, however far (1e400
// included, which is valid JSON a double cannot hold), the limit of its sign. Not a number: 0.
std::int64_t counter(const ReferenceJson *value)
{
    if (!value || value->kind != ReferenceJson::Kind::Number)
        return 0;
    const std::string &text = value->text;
    const bool negative = text.front() == '-';
    if (text.find_first_of(".eE") == std::string::npos) {
        std::int64_t whole = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), whole);
        if (error == std::errc() && end == text.data() + text.size())
            return whole;
        return negative ? int64Min : int64Max;
    }
    const double number = std::strtod(text.c_str(), nullptr);
    if (number >= 0x1p63)
        return int64Max;
    if (number <= -0x1p63)
        return int64Min;
    return std::int64_t(number);
}

// model_context_window counts only when it is a whole number within 64 bits, written as an
// integer or as a float ("200000.0").
std::optional<std::int64_t> wholeNumber(const ReferenceJson *value)
{
    if (!value || value->kind != ReferenceJson::Kind::Number)
        return std::nullopt;
    if (value->text.find_first_of(".eE") != std::string::npos) {
        const double number = std::strtod(value->text.c_str(), nullptr);
        if (number != std::floor(number) || number >= 0x1p63 || number < -0x1p63)
            return std::nullopt;
        return std::int64_t(number);
    }
    std::int64_t whole = 0;
    const auto [end, error] =
        std::from_chars(value->text.data(), value->text.data() + value->text.size(), whole);
    if (error != std::errc() || end != value->text.data() + value->text.size())
        return std::nullopt;
    return whole;
}

const ReferenceJson *object(const ReferenceJson *parent, std::string_view key)
{
    const ReferenceJson *value = parent ? parent->member(key) : nullptr;
    return value && value->kind == ReferenceJson::Kind::Object ? value : nullptr;
}

const std::string *string(const ReferenceJson *parent, std::string_view key)
{
    const ReferenceJson *value = parent ? parent->member(key) : nullptr;
    return value && value->kind == ReferenceJson::Kind::String ? &value->text : nullptr;
}

// The Claude Code totals as the reference sees them: each message id's last line, and every line
// without a string id, summed afresh in 128 bits and then clamped to 64.
struct ClaudeLines
{
    std::map<std::string, Usage::MessageCounters> last;
    std::vector<Usage::MessageCounters> anonymous;
};

// A Claude Code line: message.usage's four counters count once per message id, with the
// numbers of the id's last line (lines without a string id always add); the context is the
// last line's input side; the first model that names a window sets it.
bool referenceClaude(const ReferenceJson &root, FileProgress &progress, ClaudeLines &lines)
{
    const ReferenceJson *message = object(&root, "message");
    const ReferenceJson *counters = object(message, "usage");
    if (!counters)
        return false;
    const Usage::MessageCounters line{counter(counters->member("cache_read_input_tokens")),
                                      counter(counters->member("cache_creation_input_tokens")),
                                      counter(counters->member("input_tokens")),
                                      counter(counters->member("output_tokens"))};
    if (const std::string *id = string(message, "id")) {
        lines.last[*id] = line;
        progress.countedMessages[*id] = line;
    } else {
        lines.anonymous.push_back(line);
    }
    Wide read = 0, written = 0, input = 0, output = 0;
    const auto sum = [&](const Usage::MessageCounters &each) {
        read += each.cacheRead;
        written += each.cacheWrite;
        input += each.freshInput;
        output += each.output;
    };
    for (const auto &[id, each] : lines.last)
        sum(each);
    for (const Usage::MessageCounters &each : lines.anonymous)
        sum(each);
    TokenUsage &usage = progress.usage;
    usage.cacheRead = clamp(read);
    usage.cacheWrite = clamp(written);
    usage.freshInput = clamp(input);
    usage.output = clamp(output);
    usage.contextUsed = add(add(line.cacheRead, line.cacheWrite), line.freshInput);
    const std::string *model = string(message, "model");
    if (!usage.contextWindow && model) {
        if (model->find("[1m]") != std::string::npos)
            usage.contextWindow = 1000000;
        else if (model->starts_with("claude-"))
            usage.contextWindow = 200000;
    }
    return true;
}

// A rate_limits window: none when absent or null; invalid (the whole rate_limits ignored) unless
// used_percent is a number of at least 0 (above 100 taken as 100), window_minutes a whole number
// of at least 1 and resets_at, when there, a whole number of at least 0.
bool quotaWindow(const ReferenceJson *value, std::optional<Usage::QuotaWindow> &out)
{
    if (!value || value->kind == ReferenceJson::Kind::Null)
        return true;
    if (value->kind != ReferenceJson::Kind::Object)
        return false;
    const ReferenceJson *used = value->member("used_percent");
    const auto minutes = wholeNumber(value->member("window_minutes"));
    if (!used || used->kind != ReferenceJson::Kind::Number || !minutes || *minutes < 1)
        return false;
    const double percent = std::strtod(used->text.c_str(), nullptr);
    if (!(percent >= 0))
        return false;
    Usage::QuotaWindow window{percent > 100 ? 100.0 : percent, *minutes, std::nullopt};
    if (const ReferenceJson *resets = value->member("resets_at");
        resets && resets->kind != ReferenceJson::Kind::Null) {
        window.resetsAt = wholeNumber(resets);
        if (!window.resetsAt || *window.resetsAt < 0)
            return false;
    }
    out = window;
    return true;
}

std::optional<Usage::QuotaWindows> quotaWindows(const ReferenceJson *limits)
{
    Usage::QuotaWindows quota;
    if (!limits || !quotaWindow(limits->member("primary"), quota.primary) ||
        !quotaWindow(limits->member("secondary"), quota.secondary) || quota.empty())
        return std::nullopt;
    return quota;
}

// A Codex token_count line: valid rate_limits replace the quota windows; its totals replace the
// counters (fresh input is input less
// cached, not below 0; output includes reasoning); a window and a last input of at least 1
// replace theirs.
bool referenceCodex(const ReferenceJson &root, FileProgress &progress, ClaudeLines &)
{
    const ReferenceJson *payload = object(&root, "payload");
    const std::string *type = string(payload, "type");
    const ReferenceJson *info = object(payload, "info");
    const ReferenceJson *totals = object(info, "total_token_usage");
    if (!type || *type != "token_count")
        return false;
    if (const auto quota = quotaWindows(object(payload, "rate_limits")))
        progress.quota = *quota;
    if (!totals)
        return false;
    const std::int64_t cached = counter(totals->member("cached_input_tokens"));
    TokenUsage &usage = progress.usage;
    usage.cacheRead = cached;
    usage.cacheWrite = counter(totals->member("cache_write_input_tokens"));
    usage.freshInput = std::max<std::int64_t>(
        clamp(Wide(counter(totals->member("input_tokens"))) - cached), 0);
    usage.output = add(counter(totals->member("output_tokens")),
                       counter(totals->member("reasoning_output_tokens")));
    if (const auto window = wholeNumber(info->member("model_context_window")); window >= 1)
        usage.contextWindow = window;
    if (const ReferenceJson *last = object(info, "last_token_usage")) {
        if (const std::int64_t input = counter(last->member("input_tokens")); input >= 1)
            usage.contextUsed = input;
    }
    return true;
}

// Every line of the input goes to the parser, as the reader hands it over: without its
// newline, in a buffer with the padding the parser may read. The parser's counters must
// (a) stay as they were after a line the reference refuses, and (b) equal the reference's after
// every line it accepts; and (c) the lines parsed in three stretches apart and merged in order
// give the same, as the reader's parts do.
bool differential(QByteArrayView input, TranscriptDialect dialect,
                  bool (*reference)(const ReferenceJson &, FileProgress &, ClaudeLines &))
{
    static Usage::TranscriptLineParser parser;
    FileProgress actual;
    FileProgress expected;
    ClaudeLines lines;
    std::vector<char> buffer;
    bool counted = false;
    const std::string_view text(input.data(), std::size_t(input.size()));
    std::vector<std::string_view> all;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        all.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    const auto parse = [&](std::string_view line, FileProgress &into) {
        buffer.assign(line.size() + Usage::TranscriptLineParser::padding(), '\0');
        std::copy(line.begin(), line.end(), buffer.begin());
        return parser.parse(dialect, buffer.data(), line.size(), into);
    };
    for (const std::string_view line : all) {
        parse(line, actual);
        const std::optional<ReferenceJson> document = ReferenceJson::parse(line);
        if (!document) {
            require(actual.usage == expected.usage && actual.quota == expected.quota &&
                        actual.countedMessages == expected.countedMessages,
                    "a line that is not JSON counts nothing");
            continue;
        }
        counted = reference(*document, expected, lines) || counted;
        require(actual.usage == expected.usage, "the counters equal the reference's");
        require(actual.quota == expected.quota, "the quota windows equal the reference's");
        require(actual.countedMessages == expected.countedMessages,
                "the message ids counted, and what each counts, equal the reference's");
    }
    FileProgress merged;
    for (std::size_t third = 0; third < 3; ++third) {
        FileProgress stretch;
        bool stretchCounted = false;
        for (std::size_t at = all.size() * third / 3; at < all.size() * (third + 1) / 3; ++at)
            stretchCounted = parse(all[at], stretch) || stretchCounted;
        Usage::TranscriptLineParser::merge(dialect, merged, std::move(stretch), stretchCounted);
    }
    require(merged.usage == actual.usage && merged.quota == actual.quota &&
                merged.countedMessages == actual.countedMessages,
            "stretches parsed apart and merged in order count as the lines in order");
    return counted;
}

} // namespace

bool transcriptClaude(QByteArrayView input)
{
    return differential(input, TranscriptDialect::ClaudeCode, referenceClaude);
}

bool transcriptCodex(QByteArrayView input)
{
    return differential(input, TranscriptDialect::Codex, referenceCodex);
}

} // namespace Fuzz

#include "usage/TranscriptLineParser.h"

#include "usage/SaturatingMath.h"

#include <simdjson.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace Usage {

namespace {

using namespace simdjson;

// A parser that met a very long line keeps memory in proportion to it; past this size it is
// replaced after the line so that one huge line does not pin memory for the file's lifetime.
constexpr std::size_t parserCapacityKept = 256 * 1024;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Length of the JSON number literal at the start of TEXT, or 0 when TEXT does not start with one.
std::size_t numberLiteralLength(std::string_view text)
{
    std::size_t at = 0;
    const auto digits = [&] {
        const std::size_t from = at;
        while (at < text.size() && isDigit(text[at]))
            ++at;
        return at - from;
    };
    if (at < text.size() && text[at] == '-')
        ++at;
    if (at < text.size() && text[at] == '0')
        ++at;
    else if (digits() == 0)
        return 0;
    if (at < text.size() && text[at] == '.') {
        ++at;
        if (digits() == 0)
            return 0;
    }
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-'))
            ++at;
        if (digits() == 0)
            return 0;
    }
    return at;
}

// Whether the parser cannot hold the well-formed number LITERAL: an integer beyond 64 bits
// (signed when negative, unsigned otherwise) or another number beyond the range of a double.
// Judged on the literal itself: a double rounds integers close to 2^63 up to it, which once
// turned 9223372036854775608 into the largest value.
bool isTooLarge(std::string_view literal)
{
    const char *begin = literal.data();
    const char *end = begin + literal.size();
    if (literal.find_first_of(".eE") == std::string_view::npos) {
        if (literal.front() == '-') {
            std::int64_t value = 0;
            return std::from_chars(begin, end, value).ec != std::errc();
        }
        std::uint64_t value = 0;
        return std::from_chars(begin, end, value).ec != std::errc();
    }
    const double value = std::strtod(std::string(literal).c_str(), nullptr);
    return std::isinf(value);
}

// The line with every well-formed number literal the parser cannot hold written as a double at
// the limit of its sign, so that the validating parser accepts it and it counts as the largest
// value. Anything else is left as written for the parser to judge.
std::string withHugeNumbersClamped(std::string_view line)
{
    std::string out;
    out.reserve(line.size() + 16);
    bool inString = false;
    for (std::size_t at = 0; at < line.size();) {
        const char c = line[at];
        if (inString) {
            if (c == '\\' && at + 1 < line.size()) {
                out.append(line.substr(at, 2));
                at += 2;
                continue;
            }
            inString = c != '"';
        } else if (c == '"') {
            inString = true;
        } else if (c == '-' || isDigit(c)) {
            const std::size_t length = numberLiteralLength(line.substr(at));
            if (length > 0) {
                const std::string_view literal = line.substr(at, length);
                out += isTooLarge(literal) ? (c == '-' ? "-1e308" : "1e308") : literal;
                at += length;
                continue;
            }
        }
        out += c;
        ++at;
    }
    return out;
}

// Integers as they are, other numbers truncated toward zero, values beyond 64 bits clamped,
// anything that is not a number 0.
std::int64_t readNumber(dom::element value)
{
    switch (value.type()) {
    case dom::element_type::INT64:
        return value.get_int64().value_unsafe();
    case dom::element_type::UINT64:
        return std::numeric_limits<std::int64_t>::max();
    case dom::element_type::DOUBLE:
        return truncateToInt64(value.get_double().value_unsafe());
    default:
        return 0;
    }
}

std::int64_t readNumber(dom::object object, std::string_view key)
{
    dom::element value;
    return object.at_key(key).get(value) ? 0 : readNumber(value);
}

std::int64_t clampToInt64(FileProgress::Wide value)
{
    constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t smallest = std::numeric_limits<std::int64_t>::min();
    return value > largest ? largest : value < smallest ? smallest : std::int64_t(value);
}

bool member(dom::object object, std::string_view key, dom::object &out)
{
    return !object.at_key(key).get_object().get(out);
}

// A whole number within 64 bits, as written.
std::optional<std::int64_t> wholeNumber(dom::element value)
{
    std::int64_t number = 0;
    if (value.type() != dom::element_type::INT64 || value.get_int64().get(number))
        return std::nullopt;
    return number;
}

// One window of rate_limits: used_percent a number of at least 0 (taken as 100 above it),
// window_minutes a whole number of at least 1, resets_at, when given, a whole number of at
// least 0. Absent or null: no window; anything else makes the whole rate_limits invalid.
bool quotaWindow(dom::object limits, std::string_view key, std::optional<QuotaWindow> &out)
{
    dom::element value;
    if (limits.at_key(key).get(value) || value.is_null())
        return true;
    dom::object window;
    dom::element used;
    dom::element minutes;
    if (value.get_object().get(window) || window.at_key("used_percent").get(used) ||
        window.at_key("window_minutes").get(minutes))
        return false;
    double percent = 0;
    if (used.type() == dom::element_type::INT64)
        percent = double(used.get_int64().value_unsafe());
    else if (used.type() == dom::element_type::UINT64)
        percent = double(used.get_uint64().value_unsafe());
    else if (used.get_double().get(percent))
        return false;
    const auto length = wholeNumber(minutes);
    if (!(percent >= 0) || !length || *length < 1)
        return false;
    QuotaWindow parsed{std::min(percent, 100.0), *length, std::nullopt};
    dom::element resets;
    if (!window.at_key("resets_at").get(resets) && !resets.is_null()) {
        parsed.resetsAt = wholeNumber(resets);
        if (!parsed.resetsAt || *parsed.resetsAt < 0)
            return false;
    }
    out = parsed;
    return true;
}

// The payload's rate_limits when valid with at least one window, else none.
std::optional<QuotaWindows> quotaWindows(dom::object payload)
{
    dom::object limits;
    if (!member(payload, "rate_limits", limits))
        return std::nullopt;
    QuotaWindows quota;
    if (!quotaWindow(limits, "primary", quota.primary) ||
        !quotaWindow(limits, "secondary", quota.secondary) || quota.empty())
        return std::nullopt;
    return quota;
}

} // namespace

class TranscriptLineParser::Private
{
public:
    bool claudeCode(dom::object root, FileProgress &progress);
    bool codex(dom::object root, FileProgress &progress);

    dom::parser parser;
};

std::size_t TranscriptLineParser::padding()
{
    return SIMDJSON_PADDING;
}

std::string_view TranscriptLineParser::requiredText(TranscriptDialect dialect)
{
    return dialect == TranscriptDialect::ClaudeCode ? std::string_view("\"usage\"")
                                                    : std::string_view("\"token_count\"");
}

TranscriptLineParser::TranscriptLineParser()
    : d(std::make_unique<Private>())
{}

TranscriptLineParser::~TranscriptLineParser() = default;

// The whole line is parsed and validated (structure, strings, escapes, UTF-8, numbers) before
// anything of it is counted: a line another JSON reader would refuse never counts.
bool TranscriptLineParser::parse(TranscriptDialect dialect, const char *line, std::size_t length,
                                 FileProgress &progress)
{
    dom::element document;
    error_code error = d->parser.parse(line, length, false).get(document);
    std::string clamped;
    if (error == NUMBER_ERROR) {
        // Well-formed numbers too large for the parser are still valid JSON.
        clamped = withHugeNumbersClamped(std::string_view(line, length));
        error = d->parser.parse(clamped).get(document);
    }
    dom::object root;
    bool counted = false;
    if (!error && !document.get_object().get(root)) {
        counted = dialect == TranscriptDialect::ClaudeCode ? d->claudeCode(root, progress)
                                                           : d->codex(root, progress);
    }
    if (d->parser.capacity() > parserCapacityKept)
        d->parser = dom::parser();
    return counted;
}

void TranscriptLineParser::merge(TranscriptDialect dialect, FileProgress &progress,
                                 FileProgress &&later, bool counted)
{
    TokenUsage &usage = progress.usage;
    const TokenUsage &after = later.usage;
    if (dialect == TranscriptDialect::Codex) {
        // The last counted line's totals replace; the window, the context and the quota
        // are the newest that were given.
        if (counted) {
            usage.cacheRead = after.cacheRead;
            usage.cacheWrite = after.cacheWrite;
            usage.freshInput = after.freshInput;
            usage.output = after.output;
        }
        if (after.contextWindow)
            usage.contextWindow = after.contextWindow;
        if (after.contextUsed >= 1)
            usage.contextUsed = after.contextUsed;
        if (!later.quota.empty())
            progress.quota = later.quota;
        return;
    }
    // LATER's sums hold each of its ids' last line once: what an id counted before is taken back.
    FileProgress::Sums &sums = progress.sums;
    for (auto &[id, line] : later.countedMessages) {
        const auto known = progress.countedMessages.find(id);
        if (known == progress.countedMessages.end()) {
            progress.countedMessages.emplace(id, line);
            continue;
        }
        sums.cacheRead -= known->second.cacheRead;
        sums.cacheWrite -= known->second.cacheWrite;
        sums.freshInput -= known->second.freshInput;
        sums.output -= known->second.output;
        known->second = line;
    }
    sums.cacheRead += later.sums.cacheRead;
    sums.cacheWrite += later.sums.cacheWrite;
    sums.freshInput += later.sums.freshInput;
    sums.output += later.sums.output;
    usage.cacheRead = clampToInt64(sums.cacheRead);
    usage.cacheWrite = clampToInt64(sums.cacheWrite);
    usage.freshInput = clampToInt64(sums.freshInput);
    usage.output = clampToInt64(sums.output);
    if (counted)
        usage.contextUsed = after.contextUsed;
    if (!usage.contextWindow)
        usage.contextWindow = after.contextWindow;
}

bool TranscriptLineParser::Private::claudeCode(dom::object root, FileProgress &progress)
{
    dom::object message;
    dom::object counters;
    if (!member(root, "message", message) || !member(message, "usage", counters))
        return false;
    const MessageCounters line{readNumber(counters, "cache_read_input_tokens"),
                               readNumber(counters, "cache_creation_input_tokens"),
                               readNumber(counters, "input_tokens"),
                               readNumber(counters, "output_tokens")};
    // A later line of a message replaces what its earlier ones counted.
    MessageCounters replaced;
    std::string_view id;
    if (!message.at_key("id").get_string().get(id)) {
        const auto known = progress.countedMessages.find(id);
        if (known != progress.countedMessages.end())
            replaced = std::exchange(known->second, line);
        else
            progress.countedMessages.emplace(id, line);
    }
    FileProgress::Sums &sums = progress.sums;
    sums.cacheRead += FileProgress::Wide(line.cacheRead) - replaced.cacheRead;
    sums.cacheWrite += FileProgress::Wide(line.cacheWrite) - replaced.cacheWrite;
    sums.freshInput += FileProgress::Wide(line.freshInput) - replaced.freshInput;
    sums.output += FileProgress::Wide(line.output) - replaced.output;

    TokenUsage &usage = progress.usage;
    usage.cacheRead = clampToInt64(sums.cacheRead);
    usage.cacheWrite = clampToInt64(sums.cacheWrite);
    usage.freshInput = clampToInt64(sums.freshInput);
    usage.output = clampToInt64(sums.output);
    usage.contextUsed =
        saturatingAdd(saturatingAdd(line.cacheRead, line.cacheWrite), line.freshInput);
    std::string_view model;
    if (!usage.contextWindow && !message.at_key("model").get_string().get(model)) {
        if (model.find("[1m]") != std::string_view::npos)
            usage.contextWindow = 1000000;
        else if (model.starts_with("claude-"))
            usage.contextWindow = 200000;
    }
    return true;
}

bool TranscriptLineParser::Private::codex(dom::object root, FileProgress &progress)
{
    dom::object payload;
    dom::object info;
    dom::object totals;
    std::string_view type;
    if (!member(root, "payload", payload) || payload.at_key("type").get_string().get(type) ||
        type != "token_count")
        return false;
    if (const auto quota = quotaWindows(payload))
        progress.quota = *quota;
    if (!member(payload, "info", info) || !member(info, "total_token_usage", totals))
        return false;
    const std::int64_t cached = readNumber(totals, "cached_input_tokens");
    const std::int64_t input = readNumber(totals, "input_tokens");

    TokenUsage &usage = progress.usage;
    usage.cacheRead = cached;
    usage.cacheWrite = readNumber(totals, "cache_write_input_tokens");
    usage.freshInput = std::max<std::int64_t>(saturatingSubtract(input, cached), 0);
    usage.output = saturatingAdd(readNumber(totals, "output_tokens"),
                                 readNumber(totals, "reasoning_output_tokens"));
    // A whole number, written as an integer or as a float with nothing after the point.
    dom::element windowValue;
    if (!info.at_key("model_context_window").get(windowValue)) {
        std::int64_t window = 0;
        double whole = 0;
        if (!windowValue.get_int64().get(window) && window >= 1)
            usage.contextWindow = window;
        else if (!windowValue.get_double().get(whole) && whole >= 1 && whole < 0x1p63 &&
                 whole == std::floor(whole))
            usage.contextWindow = static_cast<std::int64_t>(whole);
    }
    dom::object last;
    if (member(info, "last_token_usage", last)) {
        if (const std::int64_t lastInput = readNumber(last, "input_tokens"); lastInput >= 1)
            usage.contextUsed = lastInput;
    }
    return true;
}

} // namespace Usage

#include "usage/TranscriptLineParser.h"

#include "usage/SaturatingMath.h"

#include <simdjson.h>

#include <cstring>
#include <limits>
#include <string_view>

namespace Usage {

namespace {

using namespace simdjson;

// A parser that met a very long line keeps memory in proportion to it; past this size it is
// replaced after the line so that one huge line does not pin memory for the file's lifetime.
constexpr std::size_t parserCapacityKept = 256 * 1024;

// A well-formed JSON integer of at least 19 digits (the token may carry trailing blanks).
bool isLongIntegerLiteral(std::string_view raw)
{
    std::size_t at = raw.starts_with('-') ? 1 : 0;
    const std::size_t firstDigit = at;
    while (at < raw.size() && raw[at] >= '0' && raw[at] <= '9')
        ++at;
    const std::size_t digits = at - firstDigit;
    if (digits < 19 || raw[firstDigit] == '0')
        return false;
    return raw.find_first_not_of(" \t\r\n", at) == std::string_view::npos;
}

// Integers as they are, other numbers truncated toward zero, values beyond 64 bits clamped,
// anything that is not a number 0.
std::int64_t readNumber(ondemand::value value)
{
    ondemand::json_type type;
    if (value.type().get(type) || type != ondemand::json_type::number)
        return 0;
    const std::string_view raw = value.raw_json_token();
    ondemand::number number;
    if (value.get_number().get(number)) {
        // An integer too long for any 64-bit type is clamped by its sign.
        if (!isLongIntegerLiteral(raw))
            return 0;
        return raw.front() == '-' ? std::numeric_limits<std::int64_t>::min()
                                  : std::numeric_limits<std::int64_t>::max();
    }
    switch (number.get_number_type()) {
    case ondemand::number_type::signed_integer:
        return number.get_int64();
    case ondemand::number_type::unsigned_integer:
        return std::numeric_limits<std::int64_t>::max();
    case ondemand::number_type::floating_point_number:
        break;
    }
    return truncateToInt64(number.get_double());
}

// An integer literal that fits 64 bits, or none.
std::optional<std::int64_t> readInteger(ondemand::value value)
{
    ondemand::json_type type;
    if (value.type().get(type) || type != ondemand::json_type::number)
        return std::nullopt;
    ondemand::number number;
    if (value.get_number().get(number) ||
        number.get_number_type() != ondemand::number_type::signed_integer)
        return std::nullopt;
    return number.get_int64();
}

// The next field of an object being iterated, or false on malformed input. Keys are compared
// as written in the file: transcripts never escape the characters of their keys.
template <typename Result> bool nextField(Result &result, ondemand::field &field)
{
    if (result.error())
        return false;
    field = std::move(result.value_unsafe());
    return true;
}

// Reads past the fields used to the end of the object: a line that is not one complete JSON
// object (a missing closing brace) is not counted. No key can hold a raw control character, so
// the search always runs to the object's end.
bool restIsWellFormed(ondemand::object &root)
{
    return root.find_field("\x01").error() == NO_SUCH_FIELD;
}

} // namespace

class TranscriptLineParser::Private
{
public:
    void ClaudeCode(ondemand::document &document, FileProgress &progress);
    void codex(ondemand::document &document, FileProgress &progress);

    ondemand::parser parser;
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

void TranscriptLineParser::parse(TranscriptDialect dialect, const char *line, std::size_t length,
                                 std::size_t readable, FileProgress &progress)
{
    ondemand::document document;
    if (d->parser.iterate(line, length, readable).get(document))
        return;
    if (dialect == TranscriptDialect::ClaudeCode)
        d->ClaudeCode(document, progress);
    else
        d->codex(document, progress);
    if (d->parser.capacity() > parserCapacityKept)
        d->parser = ondemand::parser();
}

void TranscriptLineParser::Private::ClaudeCode(ondemand::document &document, FileProgress &progress)
{
    ondemand::object root;
    if (document.get_object().get(root))
        return;
    ondemand::object message;
    if (root.find_field("message").get_object().get(message))
        return;

    std::string_view id;
    std::string_view model;
    bool hasId = false;
    bool hasModel = false;
    bool hasUsage = false;
    std::int64_t read = 0;
    std::int64_t written = 0;
    std::int64_t input = 0;
    std::int64_t output = 0;
    for (auto fieldResult : message) {
        ondemand::field field;
        if (!nextField(fieldResult, field))
            return;
        const ondemand::raw_json_string key = field.key();
        if (key == "id") {
            hasId = !field.value().get_string().get(id);
        } else if (key == "model") {
            hasModel = !field.value().get_string().get(model);
        } else if (key == "usage") {
            ondemand::object usage;
            hasUsage = !field.value().get_object().get(usage);
            if (!hasUsage)
                continue;
            read = written = input = output = 0;
            for (auto usageResult : usage) {
                ondemand::field counter;
                if (!nextField(usageResult, counter))
                    return;
                const ondemand::raw_json_string name = counter.key();
                if (name == "cache_read_input_tokens")
                    read = readNumber(counter.value());
                else if (name == "cache_creation_input_tokens")
                    written = readNumber(counter.value());
                else if (name == "input_tokens")
                    input = readNumber(counter.value());
                else if (name == "output_tokens")
                    output = readNumber(counter.value());
            }
        }
    }
    if (!hasUsage || !restIsWellFormed(root))
        return;
    if (hasId) {
        if (progress.countedMessageIDs.contains(id))
            return;
        progress.countedMessageIDs.emplace(id);
    }

    TokenUsage &usage = progress.usage;
    usage.cacheRead = saturatingAdd(usage.cacheRead, read);
    usage.cacheWrite = saturatingAdd(usage.cacheWrite, written);
    usage.freshInput = saturatingAdd(usage.freshInput, input);
    usage.output = saturatingAdd(usage.output, output);
    usage.contextUsed = saturatingAdd(saturatingAdd(read, written), input);
    if (!usage.contextWindow && hasModel) {
        if (model.find("[1m]") != std::string_view::npos)
            usage.contextWindow = 1000000;
        else if (model.starts_with("claude-"))
            usage.contextWindow = 200000;
    }
}

void TranscriptLineParser::Private::codex(ondemand::document &document, FileProgress &progress)
{
    ondemand::object root;
    if (document.get_object().get(root))
        return;
    ondemand::object payload;
    if (root.find_field("payload").get_object().get(payload))
        return;

    bool tokenCount = false;
    bool hasTotals = false;
    std::int64_t cached = 0;
    std::int64_t cacheWritten = 0;
    std::int64_t input = 0;
    std::int64_t output = 0;
    std::int64_t reasoning = 0;
    // Both only count when at least 1, so 0 stands for "not given".
    std::int64_t window = 0;
    std::int64_t lastInput = 0;
    for (auto fieldResult : payload) {
        ondemand::field field;
        if (!nextField(fieldResult, field))
            return;
        const ondemand::raw_json_string key = field.key();
        if (key == "type") {
            // Compared as written, like keys, so that the reader's quick check for the quoted
            // word agrees with this one.
            ondemand::raw_json_string type;
            tokenCount = !field.value().get_raw_json_string().get(type) && type == "token_count";
            continue;
        }
        if (key != "info")
            continue;
        ondemand::object info;
        hasTotals = false;
        window = 0;
        lastInput = 0;
        if (field.value().get_object().get(info))
            continue;
        for (auto infoResult : info) {
            ondemand::field entry;
            if (!nextField(infoResult, entry))
                return;
            const ondemand::raw_json_string name = entry.key();
            if (name == "total_token_usage") {
                ondemand::object totals;
                hasTotals = !entry.value().get_object().get(totals);
                if (!hasTotals)
                    continue;
                cached = cacheWritten = input = output = reasoning = 0;
                for (auto totalResult : totals) {
                    ondemand::field counter;
                    if (!nextField(totalResult, counter))
                        return;
                    const ondemand::raw_json_string counterName = counter.key();
                    if (counterName == "cached_input_tokens")
                        cached = readNumber(counter.value());
                    else if (counterName == "cache_write_input_tokens")
                        cacheWritten = readNumber(counter.value());
                    else if (counterName == "input_tokens")
                        input = readNumber(counter.value());
                    else if (counterName == "output_tokens")
                        output = readNumber(counter.value());
                    else if (counterName == "reasoning_output_tokens")
                        reasoning = readNumber(counter.value());
                }
            } else if (name == "model_context_window") {
                window = readInteger(entry.value()).value_or(0);
            } else if (name == "last_token_usage") {
                ondemand::object last;
                if (entry.value().get_object().get(last))
                    continue;
                for (auto lastResult : last) {
                    ondemand::field counter;
                    if (!nextField(lastResult, counter))
                        return;
                    const ondemand::raw_json_string counterName = counter.key();
                    if (counterName == "input_tokens")
                        lastInput = readNumber(counter.value());
                }
            }
        }
    }
    if (!tokenCount || !hasTotals || !restIsWellFormed(root))
        return;

    TokenUsage &usage = progress.usage;
    usage.cacheRead = cached;
    usage.cacheWrite = cacheWritten;
    usage.freshInput = std::max<std::int64_t>(saturatingSubtract(input, cached), 0);
    usage.output = saturatingAdd(output, reasoning);
    if (window >= 1)
        usage.contextWindow = window;
    if (lastInput >= 1)
        usage.contextUsed = lastInput;
}

} // namespace Usage

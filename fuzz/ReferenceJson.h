#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Fuzz {

// A strict RFC 8259 reader, written for the transcript fuzz targets as a second opinion beside
// the program's parser. It shares no code with it and favours being obviously right over speed.
// Where the RFC leaves a choice open, it decides as follows, so that a difference the targets
// report is a real one:
// - Text must be well-formed UTF-8 (no overlong forms, no encoded surrogates, nothing past
//   U+10FFFF), as RFC 8259 requires of JSON exchanged between systems.
// - A \u escape of a surrogate must be a high one followed at once by an escaped low one: a
//   lone surrogate (\ud800, \udc00) names no character, so such a string is refused.
// - Numbers keep their literal; how big they may be is the reader of the value's business.
// - Objects keep every member in order, duplicates included; lookups take the first.
// - Nesting deeper than maxDepth arrays and objects is refused: a parser must stop somewhere,
//   and the program's parser stops there too.
struct ReferenceJson
{
    enum class Kind { Null, Bool, Number, String, Array, Object };

    static constexpr int maxDepth = 1024;

    Kind kind = Kind::Null;
    std::string text; // a string's decoded bytes, a number's literal, "true"/"false"
    std::vector<std::string> names; // an object's member names, in step with items
    std::vector<ReferenceJson> items; // an array's items, an object's member values

    // The document in TEXT (white space around it allowed), or none when it is not JSON.
    static std::optional<ReferenceJson> parse(std::string_view text);

    // The first member called KEY of an object, or nullptr.
    const ReferenceJson *member(std::string_view key) const;
};

} // namespace Fuzz

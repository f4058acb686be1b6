#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace Usage {

// Finds the lines of a transcript that hold a key, in one pass over the bytes instead of a
// search per line: most lines of a transcript lack the key, and a call per line cost more than
// the search. The vector versions run where the processor has them; the plain one is their
// reference.
class KeySearch
{
public:
    enum class Level
    {
        Scalar,
        Sse2,
        Avx2
    };

    struct Hit
    {
        const char *key = nullptr;       // none when [begin, end) does not hold the key
        const char *lineStart = nullptr; // one past the last newline before the key, or begin
    };

    // The best level this processor runs.
    static Level best();

    // The first KEY (at least two bytes, no newline) in [begin, end). Reads nothing outside.
    static Hit find(const char *begin, const char *end, std::string_view key);
    static Hit find(const char *begin, const char *end, std::string_view key, Level level);

    // Calls onLine(start, length) for each line of [begin, end) that holds KEY, in order, while
    // it returns true; END is one past a newline, so every line there is complete. False when it
    // stopped early: onLine said so, or a line's newline was gone (a file rewritten under a
    // mapping).
    template <typename OnLine>
    static bool forEachLine(const char *begin, const char *end, std::string_view key,
                            OnLine &&onLine)
    {
        while (begin < end) {
            const Hit hit = find(begin, end, key);
            if (!hit.key)
                return true;
            const char *after = hit.key + key.size();
            const auto *newline =
                static_cast<const char *>(std::memchr(after, '\n', std::size_t(end - after)));
            if (!newline || !onLine(hit.lineStart, std::size_t(newline - hit.lineStart)))
                return false;
            begin = newline + 1;
        }
        return true;
    }
};

} // namespace Usage

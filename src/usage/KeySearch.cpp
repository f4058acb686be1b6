#include "usage/KeySearch.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace Usage {

namespace {

using Hit = KeySearch::Hit;

// The reference: byte by byte.
Hit scalar(const char *begin, const char *end, std::string_view key)
{
    const char *lineStart = begin;
    for (const char *at = begin; std::size_t(end - at) >= key.size(); ++at) {
        if (*at == '\n')
            lineStart = at + 1;
        else if (*at == key.front() && std::memcmp(at, key.data(), key.size()) == 0)
            return {at, lineStart};
    }
    return {};
}

// The rest after a vector loop that stopped at AT: a hit there without a newline before it
// belongs to the line that started at LINESTART.
Hit finish(const char *at, const char *end, std::string_view key, const char *lineStart)
{
    Hit hit = scalar(at, end, key);
    if (hit.key && hit.lineStart == at)
        hit.lineStart = lineStart;
    return hit;
}

#if defined(__x86_64__)

// Vector search: candidates are positions whose first two bytes and last byte match the key's,
// each then compared whole. Two leading bytes because the first alone is a quote, as common in
// JSON as any letter. The two versions differ only in width.

// The candidate in CANDIDATES (bit i: AT + i) that is the key, if any.
inline const char *confirmed(const char *at, unsigned candidates, std::string_view key)
{
    for (; candidates; candidates &= candidates - 1) {
        const unsigned bit = unsigned(__builtin_ctz(candidates));
        if (std::memcmp(at + bit + 2, key.data() + 2, key.size() - 2) == 0)
            return at + bit;
    }
    return nullptr;
}

// The line start after the last newline of NEWLINES (bit i: AT + i) below LIMIT, else LINESTART.
inline const char *afterNewline(const char *at, unsigned newlines, unsigned limit,
                                const char *lineStart)
{
    const unsigned before = limit >= 32 ? newlines : newlines & ((1u << limit) - 1);
    return before ? at + (31 - __builtin_clz(before)) + 1 : lineStart;
}

inline __m128i load16(const char *at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
}

Hit sse2(const char *begin, const char *end, std::string_view key)
{
    const __m128i first = _mm_set1_epi8(key[0]);
    const __m128i second = _mm_set1_epi8(key[1]);
    const __m128i last = _mm_set1_epi8(key[key.size() - 1]);
    const __m128i newline = _mm_set1_epi8('\n');
    const char *lineStart = begin;
    const char *at = begin;
    // The last load starts at at + size - 1 and must end by END.
    for (; std::size_t(end - at) >= key.size() - 1 + 16; at += 16) {
        const __m128i block = load16(at);
        const __m128i pair =
            _mm_and_si128(_mm_cmpeq_epi8(block, first), _mm_cmpeq_epi8(load16(at + 1), second));
        const auto candidates = unsigned(_mm_movemask_epi8(
            _mm_and_si128(pair, _mm_cmpeq_epi8(load16(at + key.size() - 1), last))));
        const auto newlines = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(block, newline)));
        if (const char *found = candidates ? confirmed(at, candidates, key) : nullptr)
            return {found, afterNewline(at, newlines, unsigned(found - at), lineStart)};
        lineStart = afterNewline(at, newlines, 32, lineStart);
    }
    return finish(at, end, key, lineStart);
}

__attribute__((target("avx2"))) inline __m256i load32(const char *at)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at));
}

__attribute__((target("avx2"))) Hit avx2(const char *begin, const char *end, std::string_view key)
{
    const __m256i first = _mm256_set1_epi8(key[0]);
    const __m256i second = _mm256_set1_epi8(key[1]);
    const __m256i last = _mm256_set1_epi8(key[key.size() - 1]);
    const __m256i newline = _mm256_set1_epi8('\n');
    const char *lineStart = begin;
    const char *at = begin;
    for (; std::size_t(end - at) >= key.size() - 1 + 32; at += 32) {
        const __m256i block = load32(at);
        const __m256i pair = _mm256_and_si256(_mm256_cmpeq_epi8(block, first),
                                              _mm256_cmpeq_epi8(load32(at + 1), second));
        const auto candidates = unsigned(_mm256_movemask_epi8(
            _mm256_and_si256(pair, _mm256_cmpeq_epi8(load32(at + key.size() - 1), last))));
        const auto newlines = unsigned(_mm256_movemask_epi8(_mm256_cmpeq_epi8(block, newline)));
        if (const char *found = candidates ? confirmed(at, candidates, key) : nullptr)
            return {found, afterNewline(at, newlines, unsigned(found - at), lineStart)};
        lineStart = afterNewline(at, newlines, 32, lineStart);
    }
    return finish(at, end, key, lineStart);
}

#endif

using Finder = Hit (*)(const char *, const char *, std::string_view);

Finder finderFor(KeySearch::Level level)
{
#if defined(__x86_64__)
    if (level == KeySearch::Level::Avx2)
        return avx2;
    if (level == KeySearch::Level::Sse2)
        return sse2;
#endif
    (void)level;
    return scalar;
}

} // namespace

KeySearch::Level KeySearch::best()
{
#if defined(__x86_64__)
    static const Level level = __builtin_cpu_supports("avx2") ? Level::Avx2 : Level::Sse2;
    return level;
#else
    return Level::Scalar;
#endif
}

KeySearch::Hit KeySearch::find(const char *begin, const char *end, std::string_view key)
{
    static const Finder finder = finderFor(best());
    return finder(begin, end, key);
}

KeySearch::Hit KeySearch::find(const char *begin, const char *end, std::string_view key,
                               Level level)
{
    return finderFor(level)(begin, end, key);
}

} // namespace Usage

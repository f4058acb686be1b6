#include "usage/KeySearch.h"

#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace Usage {

namespace {

// The reference: byte by byte.
const char *scalar(const char *begin, const char *end, std::string_view key)
{
    for (const char *at = begin; std::size_t(end - at) >= key.size(); ++at) {
        if (*at == key.front() && std::memcmp(at, key.data(), key.size()) == 0)
            return at;
    }
    return nullptr;
}

#if defined(__x86_64__)

// Vector search: candidates are positions whose bytes at two probe offsets match the key's, each
// then compared whole. The probes sit inside the key's quotes, the commonest bytes of JSON, and
// as far apart as the key allows. A block of 64 bytes is tested at once, with no other work per
// block: the search runs at the speed of reading memory, and the line a hit is on is looked for
// only after a hit. The versions differ only in width.
//
// A page of the page cache lies anywhere in memory, and the processor's own prefetching stops at
// a page's end: the bytes a page ahead are asked for explicitly, so that reading waits less on
// memory (a prefetch never faults, past the end of a mapping neither).
constexpr int prefetchDistance = 4096;
struct Probes
{
    explicit Probes(std::string_view key)
        : first(key.size() >= 4 ? 1 : 0)
        , second(key.size() - 1 - first)
    {}
    std::size_t first;
    std::size_t second;
};

// The first candidate in CANDIDATES (bit i: AT + i) that is the key, if any.
inline const char *confirmed(const char *at, std::uint64_t candidates, std::string_view key)
{
    const std::size_t last = key.size() - 1;
    for (; candidates; candidates &= candidates - 1) {
        const char *candidate = at + __builtin_ctzll(candidates);
        // The quotes first: most candidates are text, which a call would not be needed to refuse.
        if (candidate[0] == key[0] && candidate[last] == key[last] &&
            std::memcmp(candidate, key.data(), key.size()) == 0)
            return candidate;
    }
    return nullptr;
}

inline __m128i load16(const char *at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
}

const char *sse2(const char *begin, const char *end, std::string_view key)
{
    const Probes probes(key);
    const __m128i first = _mm_set1_epi8(key[probes.first]);
    const __m128i second = _mm_set1_epi8(key[probes.second]);
    const auto block = [&](const char *at) {
        return unsigned(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(load16(at + probes.first), first),
                          _mm_cmpeq_epi8(load16(at + probes.second), second))));
    };
    const char *at = begin;
    // A candidate in the block starts before at + 64 and ends by END.
    for (; std::size_t(end - at) >= key.size() - 1 + 64; at += 64) {
        _mm_prefetch(at + prefetchDistance, _MM_HINT_T0);
        const std::uint64_t candidates =
            std::uint64_t(block(at)) | std::uint64_t(block(at + 16)) << 16 |
            std::uint64_t(block(at + 32)) << 32 | std::uint64_t(block(at + 48)) << 48;
        if (const char *found = candidates ? confirmed(at, candidates, key) : nullptr)
            return found;
    }
    return scalar(at, end, key);
}

__attribute__((target("avx2"))) inline __m256i load32(const char *at)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at));
}

__attribute__((target("avx2"))) const char *avx2(const char *begin, const char *end,
                                                  std::string_view key)
{
    const Probes probes(key);
    const __m256i first = _mm256_set1_epi8(key[probes.first]);
    const __m256i second = _mm256_set1_epi8(key[probes.second]);
    const char *at = begin;
    for (; std::size_t(end - at) >= key.size() - 1 + 64; at += 64) {
        _mm_prefetch(at + prefetchDistance, _MM_HINT_T0);
        const __m256i low = _mm256_and_si256(_mm256_cmpeq_epi8(load32(at + probes.first), first),
                                             _mm256_cmpeq_epi8(load32(at + probes.second), second));
        const __m256i high =
            _mm256_and_si256(_mm256_cmpeq_epi8(load32(at + 32 + probes.first), first),
                             _mm256_cmpeq_epi8(load32(at + 32 + probes.second), second));
        const __m256i any = _mm256_or_si256(low, high);
        if (_mm256_testz_si256(any, any))
            continue;
        const std::uint64_t candidates = std::uint64_t(unsigned(_mm256_movemask_epi8(low))) |
                                         std::uint64_t(unsigned(_mm256_movemask_epi8(high))) << 32;
        if (const char *found = confirmed(at, candidates, key))
            return found;
    }
    return scalar(at, end, key);
}

#endif

using Finder = const char *(*)(const char *, const char *, std::string_view);

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

KeySearch::Hit hitAt(const char *begin, const char *key)
{
    if (!key)
        return {};
    const auto *newline = static_cast<const char *>(::memrchr(begin, '\n', std::size_t(key - begin)));
    return {key, newline ? newline + 1 : begin};
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
    return hitAt(begin, finder(begin, end, key));
}

KeySearch::Hit KeySearch::find(const char *begin, const char *end, std::string_view key,
                               Level level)
{
    return hitAt(begin, finderFor(level)(begin, end, key));
}

} // namespace Usage

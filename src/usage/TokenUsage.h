#pragma once

#include <cstdint>
#include <optional>

namespace Usage {

// Token counters of one conversation.
struct TokenUsage
{
    std::int64_t cacheRead = 0;
    std::int64_t cacheWrite = 0;
    std::int64_t freshInput = 0;
    std::int64_t output = 0;
    std::optional<std::int64_t> contextWindow;
    std::int64_t contextUsed = 0;

    // The four counters added up (saturating); the context figures are not part of it.
    std::int64_t total() const;

    // contextUsed / contextWindow, capped at 1.0; none without a window of at least 1.
    std::optional<double> contextFraction() const;

    friend bool operator==(const TokenUsage &, const TokenUsage &) = default;
};

} // namespace Usage

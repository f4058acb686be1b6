#pragma once

#include <cstdint>
#include <optional>

namespace Usage {

// One of Codex's quota windows as the newest token_count event that carried it gave it.
struct QuotaWindow
{
    double usedPercent = 0; // 0 to 100
    std::int64_t windowMinutes = 0; // at least 1
    std::optional<std::int64_t> resetsAt; // seconds since 1970-01-01T00:00:00Z

    friend bool operator==(const QuotaWindow &, const QuotaWindow &) = default;
};

// Codex's two quota windows (its "primary" and "secondary" rate limits); either may be absent.
struct QuotaWindows
{
    std::optional<QuotaWindow> primary;
    std::optional<QuotaWindow> secondary;

    bool empty() const { return !primary && !secondary; }

    friend bool operator==(const QuotaWindows &, const QuotaWindows &) = default;
};

} // namespace Usage

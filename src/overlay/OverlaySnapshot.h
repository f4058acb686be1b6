#pragma once

#include "manifest/KnownHarness.h"
#include "usage/QuotaWindows.h"
#include "usage/TokenUsage.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace Overlay {

// Everything the pill shows, with its values before the first write.
struct OverlaySnapshot
{
    QString model = QStringLiteral("Orvane");
    QString harnessLabel = QStringLiteral("Claude");
    Manifest::KnownHarness harness = Manifest::KnownHarness::ClaudeCode;
    QString surface = QStringLiteral("claude-desktop");
    QString detail = QStringLiteral("Connecting to gateway\u2026");
    bool connected = false;
    std::optional<double> cacheExpiresAt; // seconds since 1970-01-01T00:00:00Z
    std::optional<double> savingsPct;
    std::int64_t asksOpen = 0;
    std::int64_t answersFresh = 0;
    // The conversation's counters as read, and the ones shown while counting up to them.
    std::optional<Usage::TokenUsage> usage;
    std::optional<Usage::TokenUsage> displayedUsage;
    // The conversation's quota windows (Codex's only), one row each below the context bar.
    Usage::QuotaWindows quota;
    bool expanded = false;

    friend bool operator==(const OverlaySnapshot &, const OverlaySnapshot &) = default;
};

} // namespace Overlay

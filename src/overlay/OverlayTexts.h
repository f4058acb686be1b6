#pragma once

#include "usage/TokenUsage.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>

// The pill's derived texts, as pure functions of their inputs so that they can be checked without
// a clock or a widget. Numbers go through the C library's printf, whose rounding of exact halves
// (to even) is part of what the texts promise.
namespace Overlay {

// The counters come from the usage reader.
using Usage::TokenUsage;

// Seconds since 1970-01-01T00:00:00Z of a wall-clock time, with its fraction.
double secondsSinceEpoch(std::chrono::system_clock::time_point time);

// The prompt cache's countdown: empty without an expiry (absent, 0 or negative, or so far ahead
// that the remaining seconds do not fit 64 bits), "❄️ cold" under one second left, else
// "🔥 m:ss" with whole minutes that are not capped at 59.
QString warmthText(std::optional<double> cacheExpiresAt, double nowSeconds);

// A token count: plain below 1000, then thousands and millions with one decimal.
QString formatCount(std::int64_t count);

// "38% saved"; empty when absent.
QString savingsText(std::optional<double> savingsPct);

// "📨 2 📬 1": each counter only when at least 1; empty when both are below 1.
QString countersText(std::int64_t asksOpen, std::int64_t answersFresh);

// The header's second line: harness label, then the warmth or else the detail, the savings and
// the counters, empty parts dropped, joined by " · ".
QString statusLine(const QString &harnessLabel, const QString &warmth, const QString &detail,
                   std::optional<double> savingsPct, std::int64_t asksOpen,
                   std::int64_t answersFresh);

// The context row's value: "45.2k · 23%" with a context window, else just the count.
QString contextValueText(const Usage::TokenUsage &usage);

// A quota window's name from its length: "5 h", "Day", "Week", else hours, days or minutes.
QString quotaWindowLabel(std::int64_t windowMinutes);

// A quota row's value: "12% · resets 14:20" when it resets later today (local time), "12% ·
// resets Tue" within the next six days, "12% · resets 12 Jan" later; just "12%" without a
// reset time or once it has passed. The percentage is truncated, as the context's.
QString quotaValueText(double usedPercent, std::optional<std::int64_t> resetsAt,
                       const QDateTime &now);

} // namespace Overlay

#pragma once

#include "usage/TokenUsage.h"

#include <QHash>
#include <QString>

#include <cstdint>

namespace Overlay {

// The counters come from the usage reader.
using Usage::TokenUsage;

// Counts shown numbers up to their targets: an exponential approach (88 % of the remaining
// distance per second) with a minimum speed of 55 % of the whole distance per second, so every
// count-up ends within about 1.82 s. A counter seen for the first time, and a target below the
// shown value, are shown at once. The caller measures the elapsed real time between steps.
class CountUpAnimator
{
public:
    using Values = QHash<QString, std::int64_t>;

    static constexpr double decayBase = 0.12;
    static constexpr double minimumSpeed = 0.55;
    static constexpr double distanceThreshold = 1.0;
    static constexpr double tickInterval = 1.0 / 60.0;

    // One step of elapsedSeconds (negative or not a number counts as 0). Returns, for every key
    // of targets, the whole value to show now, never above the target. Keys not in targets are
    // forgotten.
    Values advance(const Values &targets, double elapsedSeconds);

    // The same step over the five animated counters of a usage ("cacheRead", "cacheWrite",
    // "freshInput", "output", "contextUsed"); the context window is taken over unanimated.
    Usage::TokenUsage advance(const Usage::TokenUsage &target, double elapsedSeconds);

    void reset();

private:
    QHash<QString, double> m_displayed;
    QHash<QString, double> m_origins;
};

} // namespace Overlay

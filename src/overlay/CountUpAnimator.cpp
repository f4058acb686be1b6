#include "overlay/CountUpAnimator.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Overlay {

namespace {

// floor(value) as a 64-bit integer, never above target (doubles near 2^63 cannot be converted
// directly without overflow).
std::int64_t shownValue(double value, std::int64_t target)
{
    const double floored = std::floor(value);
    if (!(floored < 9223372036854775808.0))
        return target;
    if (floored < -9223372036854775808.0)
        return std::numeric_limits<std::int64_t>::min();
    return std::min(target, static_cast<std::int64_t>(floored));
}

} // namespace

CountUpAnimator::Values CountUpAnimator::advance(const Values &targets, double elapsedSeconds)
{
    const double e = elapsedSeconds >= 0 ? elapsedSeconds : 0.0; // false for NaN too
    const double decay = std::pow(decayBase, e);
    Values result;
    for (auto it = targets.cbegin(); it != targets.cend(); ++it) {
        const QString &key = it.key();
        const std::int64_t t = it.value();
        const auto target = static_cast<double>(t);
        if (!m_displayed.contains(key) || !m_origins.contains(key)) {
            m_displayed[key] = target;
            m_origins[key] = target;
            result[key] = t;
            continue;
        }
        const double shown = m_displayed.value(key);
        const double origin = m_origins.value(key);
        double next;
        if (shown > target) {
            m_origins[key] = target;
            next = target;
        } else {
            if (origin < target && shown >= target)
                m_origins[key] = shown;
            const double remaining = target - shown;
            const double distance = target - std::min(shown, origin);
            const double linear = distance >= distanceThreshold
                                      ? std::min(distance * minimumSpeed * e, remaining)
                                      : std::min(minimumSpeed * e, remaining);
            const double exponential = (1.0 - decay) * remaining;
            next = shown + std::max(exponential, linear);
        }
        m_displayed[key] = next;
        result[key] = shownValue(next, t);
    }
    for (auto it = m_displayed.begin(); it != m_displayed.end();)
        it = targets.contains(it.key()) ? std::next(it) : m_displayed.erase(it);
    for (auto it = m_origins.begin(); it != m_origins.end();)
        it = targets.contains(it.key()) ? std::next(it) : m_origins.erase(it);
    return result;
}

Usage::TokenUsage CountUpAnimator::advance(const Usage::TokenUsage &target, double elapsedSeconds)
{
    struct Counter
    {
        const char *key;
        std::int64_t Usage::TokenUsage::*field;
    };
    static constexpr Counter counters[] = {
        {"cacheRead", &Usage::TokenUsage::cacheRead},     {"cacheWrite", &Usage::TokenUsage::cacheWrite},
        {"freshInput", &Usage::TokenUsage::freshInput},   {"output", &Usage::TokenUsage::output},
        {"contextUsed", &Usage::TokenUsage::contextUsed},
    };
    Values targets;
    for (const Counter &counter : counters)
        targets.insert(QString::fromLatin1(counter.key), target.*counter.field);
    const Values next = advance(targets, elapsedSeconds);
    Usage::TokenUsage shown = target;
    for (const Counter &counter : counters)
        shown.*counter.field = next.value(QString::fromLatin1(counter.key), target.*counter.field);
    return shown;
}

void CountUpAnimator::reset()
{
    m_displayed.clear();
    m_origins.clear();
}

} // namespace Overlay

#include "overlay/OverlayState.h"

#include "overlay/OverlayTexts.h"

namespace Overlay {

OverlayState::OverlayState(const Platform::Clock &clock, QObject *parent)
    : QObject(parent)
    , m_clock(&clock)
{}

void OverlayState::notifyChanged()
{
    Q_EMIT changed();
}

QString OverlayState::warmth() const
{
    return warmthText(m_snapshot.cacheExpiresAt, secondsSinceEpoch(m_clock->now()));
}

QString OverlayState::statusLine() const
{
    const OverlaySnapshot &s = m_snapshot;
    return Overlay::statusLine(s.harnessLabel, warmth(), s.detail, s.savingsPct, s.asksOpen,
                               s.answersFresh);
}

QString OverlayState::quotaValue(const Usage::QuotaWindow &window) const
{
    const auto now = std::chrono::time_point_cast<std::chrono::milliseconds>(m_clock->now());
    return quotaValueText(window.usedPercent, window.resetsAt,
                          QDateTime::fromMSecsSinceEpoch(now.time_since_epoch().count()));
}

const std::optional<Usage::TokenUsage> &OverlayState::shownUsage() const
{
    return m_snapshot.displayedUsage ? m_snapshot.displayedUsage : m_snapshot.usage;
}

QString OverlayState::format(std::int64_t count)
{
    return formatCount(count);
}

} // namespace Overlay

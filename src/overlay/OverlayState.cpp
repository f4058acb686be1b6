#include "overlay/OverlayState.h"

#include "overlay/OverlayTexts.h"

namespace Overlay {

OverlayState::OverlayState(const Platform::Clock &clock, QObject *parent)
    : QObject(parent)
    , m_clock(&clock)
{}

template <typename T>
void OverlayState::write(T &field, const T &value, void (OverlayState::*fieldSignal)())
{
    field = value;
    Q_EMIT(this->*fieldSignal)();
    Q_EMIT changed();
}

void OverlayState::setModel(const QString &model)
{
    write(m_model, model, &OverlayState::modelChanged);
}

void OverlayState::setHarnessLabel(const QString &harnessLabel)
{
    write(m_harnessLabel, harnessLabel, &OverlayState::harnessLabelChanged);
}

void OverlayState::setHarness(const QString &harness)
{
    write(m_harness, harness, &OverlayState::harnessChanged);
}

void OverlayState::setSurface(const QString &surface)
{
    write(m_surface, surface, &OverlayState::surfaceChanged);
}

void OverlayState::setDetail(const QString &detail)
{
    write(m_detail, detail, &OverlayState::detailChanged);
}

void OverlayState::setConnected(bool connected)
{
    write(m_connected, connected, &OverlayState::connectedChanged);
}

void OverlayState::setCacheExpiresAt(std::optional<double> cacheExpiresAt)
{
    write(m_cacheExpiresAt, cacheExpiresAt, &OverlayState::cacheExpiresAtChanged);
}

void OverlayState::setSavingsPct(std::optional<double> savingsPct)
{
    write(m_savingsPct, savingsPct, &OverlayState::savingsPctChanged);
}

void OverlayState::setAsksOpen(std::int64_t asksOpen)
{
    write(m_asksOpen, asksOpen, &OverlayState::asksOpenChanged);
}

void OverlayState::setAnswersFresh(std::int64_t answersFresh)
{
    write(m_answersFresh, answersFresh, &OverlayState::answersFreshChanged);
}

void OverlayState::setUsage(const std::optional<Usage::TokenUsage> &usage)
{
    write(m_usage, usage, &OverlayState::usageChanged);
}

void OverlayState::setDisplayedUsage(const std::optional<Usage::TokenUsage> &displayedUsage)
{
    write(m_displayedUsage, displayedUsage, &OverlayState::displayedUsageChanged);
}

void OverlayState::setExpanded(bool expanded)
{
    write(m_expanded, expanded, &OverlayState::expandedChanged);
}

void OverlayState::notifyChanged()
{
    Q_EMIT changed();
}

QString OverlayState::warmth() const
{
    return warmthText(m_cacheExpiresAt, secondsSinceEpoch(m_clock->now()));
}

QString OverlayState::statusLine() const
{
    return Overlay::statusLine(m_harnessLabel, warmth(), m_detail, m_savingsPct, m_asksOpen,
                               m_answersFresh);
}

const std::optional<Usage::TokenUsage> &OverlayState::shownUsage() const
{
    return m_displayedUsage ? m_displayedUsage : m_usage;
}

QString OverlayState::format(std::int64_t count)
{
    return formatCount(count);
}

} // namespace Overlay

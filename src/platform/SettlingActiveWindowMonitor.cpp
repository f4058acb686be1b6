#include "platform/SettlingActiveWindowMonitor.h"

namespace Platform {

SettlingActiveWindowMonitor::SettlingActiveWindowMonitor(Timers &timers, QObject *parent)
    : ActiveWindowMonitor(parent)
    , m_timers(timers)
{}

void SettlingActiveWindowMonitor::see(std::optional<ActiveWindow> window)
{
    if (!window) {
        if (m_active && !m_noneTimer)
            m_noneTimer = m_timers.singleShot(noneGrace, [this] {
                m_noneTimer.reset();
                m_active.reset();
                Q_EMIT activeWindowChanged();
            });
        return;
    }
    m_noneTimer.reset();
    if (m_active == window)
        return;
    m_active = std::move(window);
    Q_EMIT activeWindowChanged();
}

} // namespace Platform

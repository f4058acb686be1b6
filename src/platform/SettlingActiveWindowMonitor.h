#pragma once

#include "platform/ActiveWindowMonitor.h"
#include "platform/Timers.h"

#include <chrono>
#include <memory>
#include <optional>

namespace Platform {

// An active-window monitor fed with what its window system sees. Another window is reported at
// once, the same one again not at all. "No window" is reported only when no window follows
// within noneGrace: desktops pass through it while focus moves from one window to the next (X11
// window managers, KWin's null activation, a toplevel's deactivation ahead of the next one's
// activation), and the overlay should not flicker.
class SettlingActiveWindowMonitor : public ActiveWindowMonitor
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds noneGrace{100};

    std::optional<ActiveWindow> activeWindow() const final { return m_active; }

protected:
    explicit SettlingActiveWindowMonitor(Timers &timers, QObject *parent = nullptr);

    // The window system's answer now.
    void see(std::optional<ActiveWindow> window);
    // The answer found at start: taken without a change signal.
    void seeAtStart(std::optional<ActiveWindow> window) { m_active = std::move(window); }

private:
    Timers &m_timers;
    std::optional<ActiveWindow> m_active;
    std::unique_ptr<TimerHandle> m_noneTimer;
};

} // namespace Platform

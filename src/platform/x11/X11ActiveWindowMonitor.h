#pragma once

#include "platform/ActiveWindowMonitor.h"
#include "platform/Timers.h"

#include <QAbstractNativeEventFilter>

#include <chrono>
#include <cstdint>
#include <memory>

struct xcb_connection_t;

namespace Platform {

// Follows _NET_ACTIVE_WINDOW on the root window through the application's own xcb connection:
// a native event filter sees its PropertyNotify, and the window it names is read for WM_CLASS,
// _NET_WM_PID and its place on the screen. Window managers often pass through "no active
// window" while focus moves from one window to the next; a none replaced within noneGrace is
// not reported, so the overlay does not flicker.
class X11ActiveWindowMonitor final : public ActiveWindowMonitor, private QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds noneGrace{100};

    // Needs the xcb platform (see create()); `timers` run the grace period.
    explicit X11ActiveWindowMonitor(Timers &timers = QtTimers::instance(),
                                    QObject *parent = nullptr);
    ~X11ActiveWindowMonitor() override;

    void start() override;
    std::optional<ActiveWindow> activeWindow() const override { return m_active; }

    // The X11 monitor on the xcb platform, else the null one.
    static std::unique_ptr<ActiveWindowMonitor> create(Timers &timers = QtTimers::instance());

private:
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;
    void activeWindowPropertyChanged();
    std::uint32_t readActiveWindowId() const;
    ActiveWindow describe(std::uint32_t window) const;
    void report(std::optional<ActiveWindow> window);

    Timers &m_timers;
    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_activeAtom = 0;
    std::uint32_t m_pidAtom = 0;
    bool m_started = false;
    std::optional<ActiveWindow> m_active;
    std::unique_ptr<TimerHandle> m_noneTimer;
};

} // namespace Platform

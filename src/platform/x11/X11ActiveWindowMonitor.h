#pragma once

#include "platform/SettlingActiveWindowMonitor.h"

#include <QAbstractNativeEventFilter>

#include <cstdint>
#include <memory>

struct xcb_connection_t;

namespace Platform {

// Follows _NET_ACTIVE_WINDOW on the root window through the application's own xcb connection:
// a native event filter sees its PropertyNotify, and the window it names is read for WM_CLASS,
// _NET_WM_PID and its place on the screen.
class X11ActiveWindowMonitor final : public SettlingActiveWindowMonitor,
                                     private QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    // Needs the xcb platform (see create()); `timers` run the grace period.
    explicit X11ActiveWindowMonitor(Timers &timers = QtTimers::instance(),
                                    QObject *parent = nullptr);
    ~X11ActiveWindowMonitor() override;

    void start() override;

    // The X11 monitor on the xcb platform, else the null one.
    static std::unique_ptr<ActiveWindowMonitor> create(Timers &timers = QtTimers::instance());

private:
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;
    void activeWindowPropertyChanged();
    std::uint32_t readActiveWindowId() const;
    ActiveWindow describe(std::uint32_t window) const;

    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_activeAtom = 0;
    std::uint32_t m_pidAtom = 0;
    bool m_started = false;
};

} // namespace Platform

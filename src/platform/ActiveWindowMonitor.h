#pragma once

#include "platform/ActiveWindow.h"

#include <QObject>

#include <optional>

namespace Platform {

// Tells which window is active and when that changes. Implementations exist per window system;
// where none can tell (a Wayland session without XWayland, the offscreen platform) the null one
// reports no active window, ever. Main thread only.
class ActiveWindowMonitor : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts listening; activeWindow() is current from here on.
    virtual void start() = 0;

    // The active window, or none when no window is active or nothing can be known.
    virtual std::optional<ActiveWindow> activeWindow() const = 0;

Q_SIGNALS:
    // The active window became another one (or none).
    void activeWindowChanged();
};

// Knows no window and never reports a change.
class NullActiveWindowMonitor final : public ActiveWindowMonitor
{
    Q_OBJECT

public:
    using ActiveWindowMonitor::ActiveWindowMonitor;
    void start() override {}
    std::optional<ActiveWindow> activeWindow() const override { return std::nullopt; }
};

} // namespace Platform

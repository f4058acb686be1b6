#pragma once

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>

namespace Platform {

// A timer started through a Timers; stops for good when destroyed or stopped.
class TimerHandle
{
public:
    virtual ~TimerHandle() = default;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

// The main thread's timers, behind an interface so that owners of long-lived timers (the
// wizard's delayed calls, the overlay's polls and animation) can be stepped through simulated
// time in tests and benchmarks instead of sleeping.
class Timers
{
public:
    virtual ~Timers() = default;

    // Calls `action` once, `delay` from now, unless the handle is stopped or destroyed first.
    virtual std::unique_ptr<TimerHandle> singleShot(std::chrono::milliseconds delay,
                                                    std::function<void()> action) = 0;

    // Calls `action` every `interval` until the handle is stopped or destroyed.
    virtual std::unique_ptr<TimerHandle> repeating(std::chrono::milliseconds interval,
                                                   std::function<void()> action) = 0;
};

// QTimer on the calling thread's event loop.
class QtTimers final : public Timers
{
public:
    std::unique_ptr<TimerHandle> singleShot(std::chrono::milliseconds delay,
                                            std::function<void()> action) override;
    std::unique_ptr<TimerHandle> repeating(std::chrono::milliseconds interval,
                                           std::function<void()> action) override;

    // One shared instance for owners that are not given timers.
    static QtTimers &instance();
};

} // namespace Platform

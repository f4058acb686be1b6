#include "platform/Timers.h"

#include <QTimer>

namespace Platform {

namespace {

class QtTimerHandle final : public TimerHandle
{
public:
    QtTimerHandle(std::chrono::milliseconds interval, bool once, std::function<void()> action)
    {
        m_timer.setSingleShot(once);
        m_timer.setInterval(interval);
        // A delayed call is a deadline and must not come early, which a coarse timer may by
        // up to 5 %; long repeating ones (polls, display ticks) may drift for fewer wake-ups.
        m_timer.setTimerType(once || interval < std::chrono::seconds(1) ? Qt::PreciseTimer
                                                                        : Qt::CoarseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, std::move(action));
        m_timer.start();
    }

    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

} // namespace

std::unique_ptr<TimerHandle> QtTimers::singleShot(std::chrono::milliseconds delay,
                                                  std::function<void()> action)
{
    return std::make_unique<QtTimerHandle>(delay, true, std::move(action));
}

std::unique_ptr<TimerHandle> QtTimers::repeating(std::chrono::milliseconds interval,
                                                 std::function<void()> action)
{
    return std::make_unique<QtTimerHandle>(interval, false, std::move(action));
}

QtTimers &QtTimers::instance()
{
    static QtTimers timers;
    return timers;
}

} // namespace Platform

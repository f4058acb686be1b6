#pragma once

#include <chrono>

namespace Platform {

// The wall clock, behind an interface so that anything that waits for a moment can be tested
// with a clock the test moves by hand.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual std::chrono::system_clock::time_point now() const = 0;
};

class SystemClock final : public Clock
{
public:
    std::chrono::system_clock::time_point now() const override
    {
        return std::chrono::system_clock::now();
    }

    // One shared instance for owners that are not given a clock.
    static const SystemClock &instance()
    {
        static const SystemClock clock;
        return clock;
    }
};

} // namespace Platform

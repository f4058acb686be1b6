#pragma once

#include "platform/Clock.h"

// A clock that stands still until the test moves it.
class ManualClock final : public Platform::Clock
{
public:
    std::chrono::system_clock::time_point now() const override { return m_now; }
    void advance(std::chrono::system_clock::duration by) { m_now += by; }

private:
    std::chrono::system_clock::time_point m_now{std::chrono::hours(490000)};
};

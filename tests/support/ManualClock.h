#pragma once

#include "platform/Clock.h"

// A clock that stands still until the test moves it.
struct ManualClock final : Platform::Clock
{
    std::chrono::system_clock::time_point now() const override { return time; }
    void advance(std::chrono::system_clock::duration by) { time += by; }
    std::chrono::system_clock::time_point time{std::chrono::hours(490000)};
};

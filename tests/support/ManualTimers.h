#pragma once

#include "ManualClock.h"
#include "platform/Timers.h"

#include <algorithm>
#include <memory>
#include <vector>

// Timers that fire only when the test moves time on; they share the test's ManualClock, so
// whatever reads the clock sees the moment the timer fired at.
class ManualTimers final : public Platform::Timers
{
public:
    explicit ManualTimers(ManualClock &clock) : m_clock(clock) {}

    std::unique_ptr<Platform::TimerHandle> singleShot(std::chrono::milliseconds delay,
                                                      std::function<void()> action) override
    {
        return add(delay, false, std::move(action));
    }
    std::unique_ptr<Platform::TimerHandle> repeating(std::chrono::milliseconds interval,
                                                     std::function<void()> action) override
    {
        return add(interval, true, std::move(action));
    }

    // Moves the clock forward by `by`, firing every timer that falls due on the way, in order
    // of due time (and of creation for equal times), each with the clock set to its moment.
    void advance(std::chrono::system_clock::duration by)
    {
        const auto end = m_clock.time + by;
        while (true) {
            std::shared_ptr<Entry> next; // held: the action may add timers or drop its handle
            for (const auto &entry : m_entries)
                if (entry->active && entry->due <= end && (!next || entry->due < next->due))
                    next = entry;
            if (!next)
                break;
            m_clock.time = next->due;
            if (next->repeating)
                next->due += next->interval;
            else
                next->active = false;
            next->action();
        }
        m_clock.time = end;
        std::erase_if(m_entries, [](const auto &entry) { return entry.use_count() == 1; });
    }

    int pendingCount() const
    {
        return int(std::ranges::count_if(m_entries, [](const auto &e) { return e->active; }));
    }

private:
    struct Entry
    {
        std::chrono::system_clock::time_point due;
        std::chrono::milliseconds interval;
        bool repeating = false;
        bool active = true;
        std::function<void()> action;
    };

    class Handle final : public Platform::TimerHandle
    {
    public:
        explicit Handle(std::shared_ptr<Entry> entry) : m_entry(std::move(entry)) {}
        ~Handle() override { m_entry->active = false; }
        void stop() override { m_entry->active = false; }
        bool isActive() const override { return m_entry->active; }

    private:
        std::shared_ptr<Entry> m_entry;
    };

    std::unique_ptr<Platform::TimerHandle> add(std::chrono::milliseconds interval, bool repeat,
                                               std::function<void()> action)
    {
        const auto entry = std::make_shared<Entry>(Entry{
            .due = m_clock.time + std::max(interval, std::chrono::milliseconds(0)),
            .interval = std::max(interval, std::chrono::milliseconds(1)),
            .repeating = repeat,
            .action = std::move(action)});
        m_entries.push_back(entry);
        return std::make_unique<Handle>(entry);
    }

    ManualClock &m_clock;
    std::vector<std::shared_ptr<Entry>> m_entries;
};

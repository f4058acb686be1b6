#pragma once

#include "setup/SetupError.h"

#include <QTest>
#include <QThread>

#include <memory>
#include <optional>

// What completions did: the last result, how often they ran, and whether every run came from
// the starting thread's event loop after the starting call had returned.
template <typename T> struct Awaited
{
    std::optional<SetupResult<T>> result;
    int calls = 0;
    bool proper = true;

    // The SetupError of a failed result.
    std::optional<SetupError> error() const
    {
        if (!result || result->has_value() || !std::holds_alternative<SetupError>(result->error()))
            return std::nullopt;
        return std::get<SetupError>(result->error());
    }
};

// Starts operations with a recording completion and runs the event loop until `expected`
// reports came (and a little longer, so that one more would be seen).
template <typename T, typename Start> Awaited<T> awaitCompletion(Start start, int expected = 1)
{
    auto state = std::make_shared<Awaited<T>>();
    auto starting = std::make_shared<bool>(true);
    start([state, starting, thread = QThread::currentThread()](SetupResult<T> result) {
        ++state->calls;
        state->proper = state->proper && !*starting && QThread::currentThread() == thread;
        state->result = std::move(result);
    });
    *starting = false;
    if (QTest::qWaitFor([&] { return state->calls >= expected; }, 180000))
        QTest::qWait(30);
    state->proper = state->proper && state->calls == expected;
    return *state;
}

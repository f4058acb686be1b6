#pragma once

#include "setup/SetupError.h"

#include <QTest>
#include <QThread>

#include <memory>
#include <optional>

// What a completion callback did: how often it ran, whether it ran inside the starting call,
// and whether it ran on the thread that started the operation.
template <typename T> struct Awaited
{
    std::optional<SetupResult<T>> result;
    int calls = 0;
    bool calledDuringStart = false;
    bool onStartingThread = true;

    bool deliveredProperly() const { return calls == 1 && !calledDuringStart && onStartingThread; }
};

// Starts an operation with a recording completion and runs the event loop until it reports
// (and a little longer, so that a second report would be seen).
template <typename T, typename Start>
Awaited<T> awaitCompletion(Start start, int timeoutMs = 120000)
{
    auto state = std::make_shared<Awaited<T>>();
    auto starting = std::make_shared<bool>(true);
    QThread *const thread = QThread::currentThread();
    start([state, starting, thread](SetupResult<T> result) {
        ++state->calls;
        state->calledDuringStart = state->calledDuringStart || *starting;
        state->onStartingThread = state->onStartingThread && QThread::currentThread() == thread;
        state->result = std::move(result);
    });
    *starting = false;
    if (!QTest::qWaitFor([&] { return state->calls > 0; }, timeoutMs))
        return *state; // never reported: calls stays 0
    QTest::qWait(30);
    return *state;
}

// The SetupError inside a failed result, if that is what it holds.
template <typename T>
std::optional<SetupError> setupErrorOf(const std::optional<SetupResult<T>> &result)
{
    if (!result || result->has_value())
        return std::nullopt;
    if (const auto *error = std::get_if<SetupError>(&result->error()))
        return *error;
    return std::nullopt;
}

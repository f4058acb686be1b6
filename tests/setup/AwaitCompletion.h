#pragma once

#include "setup/SetupError.h"

#include <QTest>
#include <QThread>

// What completions did: the last result, and whether the expected number of them ran, each on the
// starting thread's event loop after the starting call had returned.
template <typename T> struct Awaited
{
    std::optional<Setup::SetupResult<T>> result;
    int calls = 0;
    bool proper = true;

    bool succeeded() const { return proper && result->has_value(); }
    // The Setup::SetupError of a failed result; a default one otherwise.
    Setup::SetupError error() const
    {
        const auto *error =
            result && !result->has_value() ? std::get_if<Setup::SetupError>(&result->error()) : nullptr;
        return error ? *error : Setup::SetupError{};
    }
    // "improper" unless the expected reports came as they should; else empty for success, the
    // status and the output's last line (a login shell without a terminal may complain first),
    // or the operation of a platform error.
    QString describe() const
    {
        if (!proper)
            return QStringLiteral("improper");
        if (result->has_value())
            return {};
        if (const auto *platform = std::get_if<Setup::PlatformError>(&result->error()))
            return platform->operation;
        return QString::number(error().status) + u' ' +
               error().output.split(u'\n').last().trimmed();
    }
};

// Starts operations with a recording completion and runs the event loop until `expected`
// reports came (and a little longer, so that one more would be seen).
template <typename T, typename Start> Awaited<T> awaitCompletion(Start start, int expected = 1)
{
    auto state = std::make_shared<Awaited<T>>();
    auto starting = std::make_shared<bool>(true);
    start([state, starting, thread = QThread::currentThread()](Setup::SetupResult<T> result) {
        state->proper = state->proper && !*starting && QThread::currentThread() == thread;
        state->result = std::move(result);
        ++state->calls;
    });
    *starting = false;
    if (QTest::qWaitFor([&] { return state->calls >= expected; }, 180000))
        QTest::qWait(30);
    state->proper = state->proper && state->calls == expected;
    return *state;
}

#pragma once

#include <QString>

#include <expected>
#include <functional>
#include <variant>

namespace Setup {

// The setup engine's own error. It carries data, not a message: the wizard turns it into
// text.
struct SetupError
{
    enum class Kind
    {
        ExitedWithStatus,
        ScriptMissing
    };

    Kind kind = Kind::ExitedWithStatus;
    qint32 status = 0; // the child's termination status (ExitedWithStatus only)
    QString output;    // the command's cleaned output (ExitedWithStatus only)

    static SetupError exitedWithStatus(qint32 status, QString output)
    {
        return {Kind::ExitedWithStatus, status, std::move(output)};
    }
    static SetupError scriptMissing() { return {Kind::ScriptMissing, 0, {}}; }

    friend bool operator==(const SetupError &, const SetupError &) = default;
};

// An error the platform reported, passed through unchanged: a program that could not be
// started, a file that could not be written or given its permissions.
struct PlatformError
{
    QString operation; // what was attempted: "launch", "write", "permissions", ...
    QString path;      // the program or file concerned
    QString message;   // the platform's own description

    friend bool operator==(const PlatformError &, const PlatformError &) = default;
};

using SetupFailure = std::variant<SetupError, PlatformError>;

template <typename T> using SetupResult = std::expected<T, SetupFailure>;

// Every asynchronous setup operation reports through one of these, exactly once, on the
// thread that started the operation (which must run a Qt event loop), and never before the
// starting call has returned.
template <typename T> using Completion = std::function<void(SetupResult<T>)>;

} // namespace Setup

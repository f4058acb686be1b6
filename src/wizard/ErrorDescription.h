#pragma once

#include "manifest/ManifestError.h"
#include "setup/SetupError.h"

#include <QString>

#include <variant>

namespace Wizard {

// A failure that is neither the setup engine's nor the manifest's.
struct OtherError
{
    friend bool operator==(const OtherError &, const OtherError &) = default;
};

// Every failure the wizard shows: what the setup engine reported (its own error or a
// platform error passed through), a manifest the program cannot read, or anything else.
using Failure = std::variant<Setup::SetupFailure, Manifest::ManifestError, OtherError>;

// The one line the user is shown for `failure`:
// - a manifest error: its own sentence;
// - the setup engine's exit with output: the output's last non-empty line (the installer's
//   last message), or the whole output when it has no line feed-separated text;
// - anything else (script missing, an exit without output, a platform error, OtherError):
//   `fallback` followed by " You can try again.".
QString describe(const Failure &failure, const QString &fallback);

// `failure` for the log: the exit status, the missing script, the platform's operation, path
// and message, or the manifest's sentence. Never the command's output, which may repeat what
// the user typed.
QString logDescription(const Failure &failure);

} // namespace Wizard

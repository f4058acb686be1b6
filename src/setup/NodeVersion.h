#pragma once

#include "setup/LoginShellRunner.h"
#include "setup/SetupError.h"

#include <QString>

#include <optional>

namespace Setup {

// The Node.js version the user's login shell finds ("v20.11.0"), or nothing when it finds no
// `node` or the shell cannot be started. Never fails; completes from the calling thread's
// event loop. The shell has no time limit.
void nodeVersion(Completion<std::optional<QString>> done,
                 const LoginShellRunner &run = loginShellRunner());

// The version in what the probe printed among the output of the user's start-up files.
std::optional<QString> nodeVersionFromOutput(const QString &output);

} // namespace Setup

#pragma once

#include "setup/SetupError.h"

#include <QStringList>

#include <functional>

namespace Setup {

// Something that runs a command through the user's login shell, as runInLoginShell does.
// Operations take one so that tests can see exactly what would be run.
using LoginShellRunner =
    std::function<void(const QStringList &arguments, Completion<QString> done)>;

// Setup::runInLoginShell.
LoginShellRunner loginShellRunner();

} // namespace Setup

#include "setup/LoginShellRunner.h"

#include "setup/ShellRunner.h"

namespace Setup {

// Kept in a file of its own: only callers that use the real runner pull in the shell runner.
LoginShellRunner loginShellRunner()
{
    return [](const QStringList &arguments, Completion<QString> done) {
        runInLoginShell(arguments, std::move(done));
    };
}

} // namespace Setup

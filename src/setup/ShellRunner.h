#pragma once

#include "setup/SetupError.h"

#include <QProcessEnvironment>
#include <QStringList>

// Commands run the way the user would type them: through the user's login shell, each
// argument single-quoted.
namespace Setup {

// "SHELL" when set; else the login shell of the password database; else "/bin/sh".
QString userShell();

// 'arg' with every ' replaced by '\'' .
QString shellQuote(const QString &argument);

// The quoted arguments joined by single spaces.
QString commandString(const QStringList &arguments);

// Runs the command in `userShell() -ilc`; completes with the cleaned output on status 0,
// SetupError::exitedWithStatus otherwise, PlatformError when the shell cannot be started. The
// command gets `environment` (this process's own unless given).
void runInLoginShell(const QStringList &arguments, Completion<QString> done,
                     const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

// The util-linux `script` program that gives runViaPty its pseudo-terminal.
inline constexpr auto scriptProgram = "/usr/bin/script";

// The same on a pseudo-terminal through `script`; completes with no value on status 0.
// SetupError::scriptMissing when `script` does not exist. The command gets `environment`
// (this process's own unless given); `started` is told the process id of `script`.
void runViaPty(const QStringList &arguments, Completion<void> done,
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
               const QString &script = QLatin1String(scriptProgram),
               std::function<void(qint64)> started = {});


} // namespace Setup

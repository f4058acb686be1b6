#pragma once

#include "platform/DesktopEntry.h"
#include "setup/DesktopLaunchMode.h"
#include "setup/LoginShellRunner.h"
#include "setup/SetupError.h"

#include <QStringList>

#include <optional>

namespace Setup {

// Start the desktop applications through the user's login shell. Each completes when the
// command exits with status 0 (its output is not used) and otherwise fails with the runner's
// error unchanged. None checks first whether the application runs or is installed.

// "orv claude desktop <mode>": the router's tool starts Claude Desktop in that mode.
void launchClaudeDesktop(DesktopLaunchMode mode, Completion<void> done,
                         const LoginShellRunner &run = loginShellRunner());

// "orv codex desktop <mode>".
void launchCodexDesktop(DesktopLaunchMode mode, Completion<void> done,
                        const LoginShellRunner &run = loginShellRunner());

// Opens OpenCode's desktop entry with "gio launch" where gio is installed, else with
// "gtk-launch" (KDE, Xfce), else by running the entry's Exec line in the background; the
// application reads and writes the null device. Without an entry the command run prints
// "OpenCode is not installed." and exits with status 1, so the failure reads like any other.
void launchOpenCodeDesktop(Completion<void> done, const LoginShellRunner &run = loginShellRunner());

// The command launchOpenCodeDesktop runs through the login shell, given OpenCode's desktop
// entry (at its path, under its desktop-file id); the opener is chosen when it runs, from
// the login shell's PATH.
QStringList openCodeLaunchCommand(const std::optional<Platform::DesktopEntry> &entry,
                                  const QString &desktopId);

// Opens a terminal window running the user's login shell (userShell() -l) in the home
// directory, trying the desktop's openers (or `openers`, when given) in turn. When none opened
// one:
// SetupError::exitedWithStatus with status 127 (none installed) or 126 (none would start or
// each failed at once) and the output "Terminal couldn't be opened.".
void openTerminal(Completion<void> done, const QStringList &openers = {});

} // namespace Setup

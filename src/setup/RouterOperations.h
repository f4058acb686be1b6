#pragma once

#include "setup/InstallAnswers.h"
#include "setup/RunningInstalls.h"
#include "setup/SetupError.h"

#include <QString>

// The three operations that change the router's installation, each running the router's npm
// package through npx in the login shell on a pseudo-terminal.
namespace Setup {

// Writes the answers to "orv_install_<UUID>.json" in the temporary directory (owner-only),
// runs `npx --yes <package> install --config <file> --yes` and removes the file whatever the
// outcome. `installs`, when given, holds the install while it runs.
void runInstall(const InstallAnswers &answers, const QString &packageSpec, Completion<void> done,
                RunningInstalls *installs = nullptr);

// The PlatformError operation of an install whose temporary folder does not exist; its path
// is the folder.
inline constexpr auto missingFolderOperation = "find the temporary folder";

// Where the answers files are written: the temporary directory.
QString answersDirectory();

// `npx --yes <package> update --all`.
void runUpdate(const QString &packageSpec, Completion<void> done);

// `npx --yes <package> uninstall --all --yes`.
void runUninstall(const QString &packageSpec, Completion<void> done);

} // namespace Setup

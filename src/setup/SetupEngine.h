#pragma once

#include "setup/DesktopApp.h"
#include "setup/DesktopLaunchMode.h"
#include "setup/ExistingInstallations.h"
#include "setup/InstallAnswers.h"
#include "setup/SetupError.h"
#include "setup/VersionInfo.h"

#include <QList>
#include <QString>

#include <optional>

namespace Setup {

// Everything the wizard asks of the outside world, behind one interface so that the flow can be
// driven in tests by a scripted engine whose completions the test releases one at a time.
//
// Asynchronous operations report through a Completion exactly once, on the calling thread
// (which runs a Qt event loop), never inside the starting call. Detection never fails: its
// completions always carry a value.
class SetupEngine
{
public:
    virtual ~SetupEngine() = default;

    // The Node.js version the login shell finds ("v20.11.0"), or nothing.
    virtual void nodeVersion(Completion<std::optional<QString>> done) = 0;

    // Installed and latest router versions; gives up on the latest after a few seconds.
    virtual void versionInfo(Completion<VersionInfo> done) = 0;

    // The installations record left by an earlier setup. Cheap and bounded: callable on the
    // main thread.
    virtual bool hasExistingInstall() = 0;
    virtual QList<ExistingHarness> readExistingHarnesses() = 0;

    // The router's installer, updater and uninstaller, each through npx on a pseudo-terminal.
    virtual void runInstall(const InstallAnswers &answers, const QString &packageSpec,
                            Completion<void> done) = 0;
    virtual void runUpdate(const QString &packageSpec, Completion<void> done) = 0;
    virtual void runUninstall(const QString &packageSpec, Completion<void> done) = 0;

    virtual void launchClaudeDesktop(DesktopLaunchMode mode, Completion<void> done) = 0;
    virtual void launchCodexDesktop(DesktopLaunchMode mode, Completion<void> done) = 0;
    virtual void launchOpenCodeDesktop(Completion<void> done) = 0;

    // Opens a terminal window in the home directory; fails when no terminal could be opened.
    virtual void openTerminal(Completion<void> done) = 0;

    virtual bool isDesktopAppRunning(DesktopApp app) = 0;
    // Asks every running copy of `app` to quit without waiting; gives how many were asked.
    virtual int terminateDesktopApp(DesktopApp app) = 0;
};

} // namespace Setup

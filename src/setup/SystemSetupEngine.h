#pragma once

#include "setup/ExistingInstallations.h"
#include "setup/LoginShellRunner.h"
#include "setup/RunningInstalls.h"
#include "setup/SetupEngine.h"

#include <QStringList>

namespace Platform {
class RunningApplications;
}

namespace Setup {

// The setup engine the program runs: the user's login shell, npx on a pseudo-terminal, the
// files earlier setups left in the home folder, the running processes and the desktop's
// terminal openers.
class SystemSetupEngine final : public SetupEngine
{
public:
    // What the engine is built from; each part defaults to the real one. Tests hand in a
    // recording login-shell runner, stand-in terminal openers or a process list of their own.
    struct Parts
    {
        LoginShellRunner loginShell = loginShellRunner();
        QStringList terminalOpeners;                       // empty: the desktop's own
        Platform::RunningApplications *applications = nullptr; // null: the system's
        QString installationsRecord = installationsPath();
    };

    SystemSetupEngine();
    explicit SystemSetupEngine(Parts parts);

    void nodeVersion(Completion<std::optional<QString>> done) override;
    void versionInfo(Completion<VersionInfo> done) override;
    bool hasExistingInstall() override;
    QList<ExistingHarness> readExistingHarnesses() override;
    void runInstall(const InstallAnswers &answers, const QString &packageSpec,
                    Completion<void> done) override;
    void runUpdate(const QString &packageSpec, Completion<void> done) override;
    void runUninstall(const QString &packageSpec, Completion<void> done) override;
    void launchClaudeDesktop(DesktopLaunchMode mode, Completion<void> done) override;
    void launchCodexDesktop(DesktopLaunchMode mode, Completion<void> done) override;
    void launchOpenCodeDesktop(Completion<void> done) override;
    void openTerminal(Completion<void> done) override;
    bool isDesktopAppRunning(DesktopApp app) override;
    int terminateDesktopApp(DesktopApp app) override;

private:
    Platform::RunningApplications &applications() const;

    Parts m_parts;
    // Ended with the engine, so quitting never leaves an installer or its answers behind.
    RunningInstalls m_installs;
};

} // namespace Setup

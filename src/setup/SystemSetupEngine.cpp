#include "setup/SystemSetupEngine.h"

#include "platform/RunningApplications.h"
#include "setup/DesktopLaunchers.h"
#include "setup/NodeVersion.h"
#include "setup/RouterOperations.h"
#include "setup/RouterVersions.h"

namespace Setup {

SystemSetupEngine::SystemSetupEngine()
    : SystemSetupEngine(Parts{})
{}

SystemSetupEngine::SystemSetupEngine(Parts parts)
    : m_parts(std::move(parts))
{}

Platform::RunningApplications &SystemSetupEngine::applications() const
{
    return m_parts.applications ? *m_parts.applications : Platform::runningApplications();
}

void SystemSetupEngine::nodeVersion(Completion<std::optional<QString>> done)
{
    Setup::nodeVersion(std::move(done), m_parts.loginShell);
}

void SystemSetupEngine::versionInfo(Completion<VersionInfo> done)
{
    Setup::versionInfo(std::move(done));
}

bool SystemSetupEngine::hasExistingInstall()
{
    return Setup::hasExistingInstall(m_parts.installationsRecord);
}

QList<ExistingHarness> SystemSetupEngine::readExistingHarnesses()
{
    return Setup::readExistingHarnesses(m_parts.installationsRecord);
}

void SystemSetupEngine::runInstall(const InstallAnswers &answers, const QString &packageSpec,
                                   Completion<void> done)
{
    Setup::runInstall(answers, packageSpec, std::move(done), &m_installs);
}

void SystemSetupEngine::runUpdate(const QString &packageSpec, Completion<void> done)
{
    Setup::runUpdate(packageSpec, std::move(done));
}

void SystemSetupEngine::runUninstall(const QString &packageSpec, Completion<void> done)
{
    Setup::runUninstall(packageSpec, std::move(done));
}

void SystemSetupEngine::launchClaudeDesktop(DesktopLaunchMode mode, Completion<void> done)
{
    Setup::launchClaudeDesktop(mode, std::move(done), m_parts.loginShell);
}

void SystemSetupEngine::launchCodexDesktop(DesktopLaunchMode mode, Completion<void> done)
{
    Setup::launchCodexDesktop(mode, std::move(done), m_parts.loginShell);
}

void SystemSetupEngine::launchOpenCodeDesktop(Completion<void> done)
{
    Setup::launchOpenCodeDesktop(std::move(done), m_parts.loginShell);
}

void SystemSetupEngine::openTerminal(Completion<void> done)
{
    Setup::openTerminal(std::move(done), m_parts.terminalOpeners);
}

bool SystemSetupEngine::isDesktopAppRunning(DesktopApp app)
{
    return Setup::isDesktopAppRunning(app, applications());
}

int SystemSetupEngine::terminateDesktopApp(DesktopApp app)
{
    return Setup::terminateDesktopApp(app, applications());
}

} // namespace Setup

#include "setup/DesktopApp.h"

#include "platform/RunningApplications.h"

namespace Setup {

QStringList applicationNames(DesktopApp app)
{
    switch (app) {
    case DesktopApp::Claude:
        return {QStringLiteral("Claude"), QStringLiteral("Claude Desktop"),
                QStringLiteral("claude-desktop")};
    case DesktopApp::Codex:
        return {QStringLiteral("Codex"), QStringLiteral("codex-desktop")};
    case DesktopApp::OpenCode:
        return {QStringLiteral("OpenCode")};
    }
    return {};
}

bool isDesktopAppRunning(DesktopApp app, const Platform::RunningApplications &applications)
{
    return applications.isRunning(applicationNames(app));
}

bool isDesktopAppRunning(DesktopApp app)
{
    return isDesktopAppRunning(app, Platform::runningApplications());
}

int terminateDesktopApp(DesktopApp app, Platform::RunningApplications &applications)
{
    return applications.terminate(applicationNames(app));
}

int terminateDesktopApp(DesktopApp app)
{
    return terminateDesktopApp(app, Platform::runningApplications());
}

} // namespace Setup

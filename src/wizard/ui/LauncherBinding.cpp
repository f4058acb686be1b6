#include "wizard/ui/LauncherBinding.h"

#include "wizard/ui/LaunchedView.h"
#include "wizard/QuestionsModel.h" // WizardController.h needs it complete
#include "wizard/WizardController.h"

namespace Wizard {

LaunchedView *createLauncher(WizardController &controller, LauncherServices services,
                             QWidget *parent)
{
    if (!services.isDesktopAppRunning)
        services.isDesktopAppRunning = [&controller](Setup::DesktopApp app) {
            return controller.isDesktopAppRunning(app);
        };
    auto *view = new LaunchedView(services, parent);
    WizardController *flow = &controller;

    const auto showCommands = [view, flow] { view->setCommands(flow->launchedCommands()); };
    const auto showVersions = [view, flow] { view->setVersionInfo(flow->versionInfo()); };
    const auto showBusy = [view, flow] { view->setBusy(flow->desktopLaunchBusy()); };
    const auto showError = [view, flow] {
        view->setErrorText(flow->launcherErrorText().value_or(QString()));
    };
    showCommands();
    showVersions();
    showBusy();
    showError();

    // The view is the context: its connections go with it when the screen is left.
    QObject::connect(flow, &WizardController::launchedCommandsChanged, view, showCommands);
    QObject::connect(flow, &WizardController::versionInfoChanged, view, showVersions);
    QObject::connect(flow, &WizardController::desktopLaunchBusyChanged, view, showBusy);
    QObject::connect(flow, &WizardController::launcherErrorTextChanged, view, showError);

    QObject::connect(view, &LaunchedView::settingsRequested, flow, &WizardController::openSettings);
    QObject::connect(view, &LaunchedView::updateRequested, flow, &WizardController::runUpdate);
    QObject::connect(view, &LaunchedView::uninstallRequested, flow,
                     &WizardController::runUninstall);
    QObject::connect(view, &LaunchedView::terminalRequested, flow,
                     &WizardController::launchTerminalLater);
    // The launcher's applications always go through the gateway.
    QObject::connect(view, &LaunchedView::claudeLaunchRequested, flow, [flow](bool relaunch) {
        flow->launchClaudeDesktop(Setup::DesktopLaunchMode::Gateway, relaunch);
    });
    QObject::connect(view, &LaunchedView::codexLaunchRequested, flow, [flow](bool relaunch) {
        flow->launchCodexDesktop(Setup::DesktopLaunchMode::Gateway, relaunch);
    });
    QObject::connect(view, &LaunchedView::openCodeLaunchRequested, flow,
                     &WizardController::launchOpenCodeDesktop);
    return view;
}

} // namespace Wizard

#pragma once

#include "wizard/ui/LauncherServices.h"

class QWidget;

namespace Wizard {

class LaunchedView;
class WizardController;

// A launcher screen for `controller`: it shows the controller's commands, versions, busy flag
// and launch error as they change, and every button asks the controller. `services` gives the
// clipboard, settings and timers; whether an application is running is asked of the
// controller unless `services` already says how. The screen may be deleted at any time; the
// controller outlives it.
LaunchedView *createLauncher(WizardController &controller, LauncherServices services,
                             QWidget *parent = nullptr);

} // namespace Wizard

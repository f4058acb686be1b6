#pragma once

#include "wizard/ui/StatusScreen.h"

namespace Wizard {

// The red "Ready." screen after a successful install, with "Open Launcher".
class CompletionScreen : public StatusScreen
{
    Q_OBJECT

public:
    explicit CompletionScreen(QWidget *parent = nullptr);

Q_SIGNALS:
    void openLauncherRequested();
};

} // namespace Wizard

#pragma once

#include "wizard/ui/StatusScreen.h"

namespace Wizard {

// A spinner, what is happening, and a hint about the browser sign-in. Used while the start-up
// check runs and during install, update and uninstall.
class ProgressScreen : public StatusScreen
{
    Q_OBJECT

public:
    // setMessage() sets what is happening.
    explicit ProgressScreen(QWidget *parent = nullptr);
};

} // namespace Wizard

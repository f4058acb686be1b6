#pragma once

#include "wizard/ui/StatusScreen.h"

namespace Wizard {

// First screen of a first run: the red welcome with its "Get started" button.
class WelcomeScreen : public StatusScreen
{
    Q_OBJECT

public:
    explicit WelcomeScreen(QWidget *parent = nullptr);

Q_SIGNALS:
    // "Get started" was clicked (or Return pressed).
    void getStartedClicked();
};

} // namespace Wizard

#pragma once

#include "wizard/ui/StatusScreen.h"

namespace Wizard {

// "Something went wrong", the one line that says what, and "Try again" (also the Return key).
class FailureScreen : public StatusScreen
{
    Q_OBJECT

public:
    // setMessage() sets what went wrong.
    explicit FailureScreen(QWidget *parent = nullptr);

Q_SIGNALS:
    void retryRequested();
};

} // namespace Wizard

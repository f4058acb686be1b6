#pragma once

#include "wizard/ui/StatusScreen.h"

#include <QUrl>

class QLabel;
class QPushButton;

namespace Wizard {

// Shown when Node.js cannot be run from the login shell: what is missing, "Check again" and a
// link to the Node.js download page. The line under the buttons says what the last of them
// could not do.
class NodeMissingScreen : public StatusScreen
{
    Q_OBJECT

public:
    explicit NodeMissingScreen(QWidget *parent = nullptr);

    // After the first recheck the screen says that Node.js is still not found.
    void setRechecked(bool rechecked);
    // While a recheck runs, "Check again" waits and a spinner turns where the line is.
    void setChecking(bool checking);

    // The page "Get Node.js" opens in the default browser.
    static QUrl downloadPage();

Q_SIGNALS:
    void recheckRequested();

private:
    void showLine();

    bool m_rechecked = false;
    bool m_checking = false;
    QPushButton *m_checkAgain = nullptr;
    QLabel *m_recheckLine = nullptr;
    QWidget *m_spinner = nullptr;
};

} // namespace Wizard

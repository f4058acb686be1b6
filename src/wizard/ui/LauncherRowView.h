#pragma once

#include "wizard/LauncherRow.h"

#include <QWidget>

namespace Design {
class FlatButton;
}

namespace Wizard {

class CopyButton;

// One agent on the launcher: its code, name and copyable command, and the two buttons that
// open a terminal with the command or start the agent's desktop application.
class LauncherRowView : public QWidget
{
    Q_OBJECT

public:
    explicit LauncherRowView(const LauncherRow &row, QWidget *parent = nullptr);

    const LauncherRow &row() const { return m_row; }

    // While busy the terminal and launch buttons are disabled; the copy mark stays usable.
    void setBusy(bool busy);
    void setCopied(bool copied);

Q_SIGNALS:
    void copyClicked();
    void terminalClicked();
    void launchClicked();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    LauncherRow m_row;
    CopyButton *m_copy = nullptr;
    Design::FlatButton *m_terminal = nullptr;
    Design::FlatButton *m_launch = nullptr;
};

} // namespace Wizard

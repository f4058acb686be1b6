#pragma once

#include <QWidget>

namespace Wizard {

// The red "Ready." screen after a successful install, with "Open Launcher".
class CompletionScreen : public QWidget
{
    Q_OBJECT

public:
    explicit CompletionScreen(QWidget *parent = nullptr);

Q_SIGNALS:
    void openLauncherRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace Wizard

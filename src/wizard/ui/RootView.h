#pragma once

// WizardController.h needs the model complete for its inline questionsModel().
#include "wizard/QuestionsModel.h"
#include "wizard/WizardController.h"

#include "wizard/ui/LauncherServices.h"

#include <QWidget>

namespace Wizard {

// Everything the setup window shows: the controller's screen, over the window's backdrop. It
// builds each screen afresh when the controller moves to it, fills it from the controller's
// state, forwards its signals to the controller's actions, cross-fades from the screen before
// and gives the keyboard to the new screen's first field or button. The start-up check begins
// when the view is first shown.
class RootView : public QWidget
{
    Q_OBJECT

public:
    // Shows `controller`, which must outlive the view. `launcherServices` are what the launcher
    // screen reaches outside itself: the clipboard, the settings that keep "Don’t show again",
    // its timers. `size` is the window's content size, which the screens fill.
    RootView(WizardController &controller, LauncherServices launcherServices, QSize size,
             QWidget *parent = nullptr);
    ~RootView() override;

    WizardController &controller() const { return *m_controller; }
    // The screen widget shown now.
    QWidget *currentScreen() const { return m_current; }

    QSize sizeHint() const override { return m_size; }

Q_SIGNALS:
    // The launcher's "Quit", offered where the desktop has no tray to quit from.
    void quitRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void showScreen(bool animated);
    QWidget *buildScreen(WizardController::Screen screen);
    QWidget *buildLauncher();

    QSize m_size;
    WizardController *m_controller = nullptr;
    LauncherServices m_launcherServices;
    QWidget *m_current = nullptr;
    bool m_started = false;
};

} // namespace Wizard

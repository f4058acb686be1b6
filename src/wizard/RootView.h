#pragma once

// WizardController.h needs the model complete for its inline questionsModel().
#include "wizard/core/QuestionsModel.h"
#include "wizard/core/WizardController.h"
#include "wizard/LauncherServices.h"

#include <QPointer>
#include <QWidget>

namespace Wizard {

// Everything the setup window shows: the controller's screen, over the window's backdrop. It
// builds each screen afresh when the controller moves to it, fills it from the controller's
// state, forwards its signals to the controller's actions and cross-fades from the screen
// before. The start-up check begins when the view is first shown.
class RootView : public QWidget
{
    Q_OBJECT

public:
    // `size` is the window's content size, which the screens fill.
    explicit RootView(QSize size, QWidget *parent = nullptr);

    // The controller to show; until one is set the view shows the welcome screen, which does
    // nothing. The controller must outlive the view or be set again.
    void setController(WizardController *controller);
    WizardController *controller() const { return m_controller; }

    // What the launcher screen reaches outside itself (clipboard, settings, timers); used by
    // each launcher built from now on.
    void setLauncherServices(const LauncherServices &services) { m_launcherServices = services; }

    // The screen widget shown now.
    QWidget *currentScreen() const { return m_current; }

    QSize sizeHint() const override { return m_size; }

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void showScreen(bool animated);
    QWidget *buildScreen(WizardController::Screen screen);
    QWidget *buildLauncher();

    QSize m_size;
    QPointer<WizardController> m_controller;
    LauncherServices m_launcherServices;
    QWidget *m_current = nullptr;
    bool m_started = false;
};

} // namespace Wizard

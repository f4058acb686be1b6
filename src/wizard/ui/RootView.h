#pragma once

// WizardController.h needs the model complete for its inline questionsModel().
#include "wizard/QuestionsModel.h"
#include "wizard/WizardController.h"

#include "manifest/Resolved.h"
#include "wizard/ui/LauncherServices.h"

#include <QPointer>
#include <QWidget>

#include <memory>

namespace Setup {
class SetupEngine;
}

namespace Wizard {

// Everything the setup window shows: the controller's screen, over the window's backdrop. It
// builds each screen afresh when the controller moves to it, fills it from the controller's
// state, forwards its signals to the controller's actions and cross-fades from the screen
// before. The start-up check begins when the view is first shown.
class RootView : public QWidget
{
    Q_OBJECT

public:
    // The program's wizard: a controller of its own over the system's setup engine, asking
    // its questions from `resolved`. `size` is the window's content size, which the screens
    // fill.
    RootView(Manifest::Resolved resolved, QSize size, QWidget *parent = nullptr);
    // Shows `controller`, which is owned elsewhere and must outlive the view.
    RootView(WizardController &controller, QSize size, QWidget *parent = nullptr);
    ~RootView() override;

    WizardController &controller() const { return *m_controller; }
    // What the launcher screen reaches outside itself: the clipboard, the settings that keep
    // "Don’t show again", its timers. The program's own wizard uses the system's; a view of a
    // given controller has none until they are set. Used by each launcher built from then on.
    void setLauncherServices(const LauncherServices &services) { m_launcherServices = services; }
    // The screen widget shown now.
    QWidget *currentScreen() const { return m_current; }

    QSize sizeHint() const override { return m_size; }

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void attach();
    void showScreen(bool animated);
    QWidget *buildScreen(WizardController::Screen screen);
    QWidget *buildLauncher();

    QSize m_size;
    // Only the program's own wizard owns these; the controller is destroyed before its engine.
    std::unique_ptr<Setup::SetupEngine> m_ownEngine;
    std::unique_ptr<WizardController> m_ownController;
    WizardController *m_controller = nullptr;
    LauncherServices m_launcherServices;
    QWidget *m_current = nullptr;
    bool m_started = false;
};

} // namespace Wizard

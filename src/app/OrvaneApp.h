#pragma once

#include <QApplication>

#include <functional>
#include <memory>

namespace Overlay {
class OverlayController;
}

namespace App {

class AppDelegate;
class SetupWindow;
class SingleInstance;
class TrayMenu;

// The application object: one process per user, one setup window, the delegate that owns
// the overlay, and the notification-area icon.
class OrvaneApp : public QApplication
{
    Q_OBJECT

public:
    // Makes the usage overlay's controller; called once, when the delegate is created. It may
    // give null where no overlay is built.
    using OverlayControllerFactory = std::function<std::unique_ptr<Overlay::OverlayController>()>;

    OrvaneApp(int &argc, char **argv, OverlayControllerFactory overlayControllerFactory = {});
    ~OrvaneApp() override;

    // Sets this process up as the running instance; launching finishes once the event loop
    // runs. False when the process should end now with exitCode(): it handed over to a
    // running instance (0), or the installation is damaged (a message went to standard error).
    bool start();
    int exitCode() const { return m_exitCode; }

    // start(), then the event loop until Quit.
    int run();

    SetupWindow *setupWindow() const { return m_window.get(); }

private:
    void showSetupWindow();

    OverlayControllerFactory m_overlayControllerFactory;
    int m_exitCode = 0;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<AppDelegate> m_delegate;
    std::unique_ptr<SetupWindow> m_window;
    std::unique_ptr<TrayMenu> m_tray;
};

} // namespace App

#pragma once

#include <QApplication>

#include <memory>

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
    OrvaneApp(int &argc, char **argv);
    ~OrvaneApp() override;

    // Hands over to a running instance (false: this process should end with status 0) or
    // sets this one up; launching finishes once the event loop runs.
    bool start();

    // start(), then the event loop until Quit.
    int run();

    SetupWindow *setupWindow() const { return m_window.get(); }

private:
    void showSetupWindow();

    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<AppDelegate> m_delegate;
    std::unique_ptr<SetupWindow> m_window;
    std::unique_ptr<TrayMenu> m_tray;
};

} // namespace App

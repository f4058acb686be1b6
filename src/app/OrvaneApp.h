#pragma once

#include "overlay/ui/OverlayPanelWindow.h"
#include "platform/Clock.h"
#include "platform/Timers.h"

#include <QApplication>

#include <memory>
#include <optional>

class QSettings;

namespace Overlay {
class OverlayPanelController;
class SettingsOriginStore;
} // namespace Overlay
namespace Platform {
class ActiveWindowMonitor;
class Notifier;
class QtScreens;
} // namespace Platform
namespace Setup {
class SetupEngine;
}
namespace Usage {
class TranscriptSource;
}
namespace Wizard {
class WizardController;
}

namespace App {

class QuitSignals;
class SetupWindow;
class SingleInstance;
class TrayMenu;

// The application object and the one place the real parts are made: one process per user, the
// settings, the notification-area icon and the desktop's notifications, the setup engine under
// the wizard's controller and its window, the usage overlay over the window system, and the
// transcripts below the home directory. Each part is handed what it reaches; none makes its own.
class OrvaneApp : public QApplication
{
    Q_OBJECT

public:
    OrvaneApp(int &argc, char **argv);
    ~OrvaneApp() override;

    // Settles this process as the running instance and builds the parts; start() follows once
    // the event loop runs. False when the process should end now with exitCode(): it handed
    // over to a running instance (0), or the installation is damaged (a message went to
    // standard error).
    bool initialize();
    int exitCode() const { return m_exitCode; }

    // The command line (--help and --version print and end it), initialize(), then the event
    // loop until Quit.
    int run();

    SetupWindow *setupWindow() const { return m_window.get(); }
    Overlay::OverlayPanelController *overlay() const { return m_overlay.get(); }

private:
    // The status to end with at once (help or version printed, or a wrong command line).
    std::optional<int> handleCommandLine();
    void buildOverlay();
    // Makes the active-window monitor the session calls for; gives how the pill stacks there.
    Overlay::OverlayPanelWindow::Stacking chooseActiveWindowMonitor();
    // Once, when GNOME Shell does not run the program's extension: what to do about it.
    QString sessionNotice();
    // Registers the fonts, brings the setup window to the front and starts the overlay.
    void start();
    void showSetupWindow();

    int m_exitCode = 0;
    Platform::SystemClock m_clock;
    Platform::QtTimers m_timers;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<QuitSignals> m_quitSignals;
    // The application's settings (organisation "Orvane"), in the XDG config folder.
    std::unique_ptr<QSettings> m_settings;
    // Declared in the order they need each other: each goes before what it uses.
    std::unique_ptr<Platform::Notifier> m_notifier;
    std::unique_ptr<TrayMenu> m_tray;
    std::unique_ptr<Setup::SetupEngine> m_engine;
    std::unique_ptr<Wizard::WizardController> m_wizard;
    std::unique_ptr<SetupWindow> m_window;
    std::unique_ptr<Overlay::SettingsOriginStore> m_origins;
    std::unique_ptr<Platform::ActiveWindowMonitor> m_monitor;
    std::unique_ptr<Platform::QtScreens> m_screens;
    std::unique_ptr<Usage::TranscriptSource> m_transcripts;
    std::unique_ptr<Overlay::OverlayPanelController> m_overlay;
    bool m_gnomeExtensionMissing = false;
    bool m_gnomeExtensionNoticeShown = false;
};

} // namespace App

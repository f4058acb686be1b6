#include "app/OrvaneApp.h"

#include "app/AppDelegate.h"
#include "app/AppIcon.h"
#include "app/SetupWindow.h"
#include "app/SingleInstance.h"
#include "app/TrayMenu.h"
#include "manifest/ManifestLoader.h"
#include "overlay/DesktopOverlay.h"
#include "platform/WindowSystem.h"

#include <QTimer>

namespace App {

OrvaneApp::OrvaneApp(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Orvane"));
    setApplicationDisplayName(QStringLiteral("Orvane"));
    setOrganizationName(QStringLiteral("Orvane"));
    setDesktopFileName(QStringLiteral("orvane"));
    setQuitOnLastWindowClosed(AppDelegate::applicationShouldTerminateAfterLastWindowClosed());
}

OrvaneApp::~OrvaneApp() = default;

bool OrvaneApp::start()
{
    m_instance = std::make_unique<SingleInstance>();
    if (m_instance->handOverToRunning())
        return false;
    m_instance->listen();
    connect(m_instance.get(), &SingleInstance::showRequested, this, &OrvaneApp::showSetupWindow);

    // A damaged installation ends here, before any window appears.
    Manifest::ManifestLoader::bundled();

    m_delegate = std::make_unique<AppDelegate>(std::make_unique<Overlay::DesktopOverlay>());
    setWindowIcon(AppIcon::icon());
    m_window = std::make_unique<SetupWindow>(Platform::WindowSystem::supportsTranslucency());
    connect(m_window.get(), &SetupWindow::quitRequested, this, &QCoreApplication::quit);

    m_tray = std::make_unique<TrayMenu>();
    connect(m_tray.get(), &TrayMenu::openRequested, this, &OrvaneApp::showSetupWindow);
    connect(m_tray.get(), &TrayMenu::quitRequested, this, &QCoreApplication::quit);

    QTimer::singleShot(0, this, [this] {
        m_delegate->applicationDidFinishLaunching([this] { showSetupWindow(); });
        m_tray->showIfAvailable();
    });
    return true;
}

int OrvaneApp::run()
{
    return start() ? exec() : 0;
}

void OrvaneApp::showSetupWindow()
{
    m_window->bringToFront();
}

} // namespace App

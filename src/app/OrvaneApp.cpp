#include "app/OrvaneApp.h"

#include "app/AppDelegate.h"
#include "app/AppIcon.h"
#include "app/SetupWindow.h"
#include "app/SingleInstance.h"
#include "app/TrayMenu.h"
#include "manifest/ManifestLoader.h"
#include "overlay/OverlayController.h"
#include "platform/ui/WindowSystem.h"

#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace App {

namespace {

// Whatever is wrong with the manifest, the installation is damaged and the remedy is the same,
// so the cause is not told.
constexpr auto damagedInstallationMessage =
    "Orvane.app is missing its bundled install-manifest.json\n";

} // namespace

OrvaneApp::OrvaneApp(int &argc, char **argv, OverlayControllerFactory overlayControllerFactory)
    : QApplication(argc, argv)
    , m_overlayControllerFactory(std::move(overlayControllerFactory))
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
    switch (m_instance->claim()) {
    case SingleInstance::Role::Serving:
        break;
    case SingleInstance::Role::HandedOver:
        m_exitCode = EXIT_SUCCESS;
        return false;
    case SingleInstance::Role::Failed:
        // Never a silent second copy: without its socket this one could not be found again.
        std::fprintf(stderr, "Orvane cannot start: %s\n",
                     qUtf8Printable(m_instance->errorString()));
        std::fflush(stderr);
        m_exitCode = EXIT_FAILURE;
        return false;
    }
    connect(m_instance.get(), &SingleInstance::showRequested, this, &OrvaneApp::showSetupWindow);

    // A damaged installation ends here, before any window appears.
    auto resolved = Manifest::ManifestLoader::load();
    if (!resolved) {
        std::fputs(damagedInstallationMessage, stderr);
        std::fflush(stderr);
        m_exitCode = EXIT_FAILURE;
        return false;
    }

    m_delegate = std::make_unique<AppDelegate>(
        m_overlayControllerFactory ? m_overlayControllerFactory()
                                   : std::unique_ptr<Overlay::OverlayController>());
    setWindowIcon(AppIcon::icon());
    m_window = std::make_unique<SetupWindow>(Platform::WindowSystem::supportsTranslucency(),
                                             std::move(*resolved));
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
    return start() ? exec() : m_exitCode;
}

void OrvaneApp::showSetupWindow()
{
    m_window->bringToFront();
}

} // namespace App

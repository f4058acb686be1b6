#include "app/OrvaneApp.h"

#include "app/AppIcon.h"
#include "app/FontRegistration.h"
#include "app/Log.h"
#include "app/QuitSignals.h"
#include "app/SetupWindow.h"
#include "app/SingleInstance.h"
#include "app/TrayMenu.h"
#include "manifest/ManifestLoader.h"
#include "overlay/OverlayPanelController.h"
#include "overlay/SettingsOriginStore.h"
#include "overlay/ui/OverlayPanelWindow.h"
#include "platform/HomeDirectory.h"
#include "platform/ProcessExecutable.h"
#include "platform/Resources.h"
#include "platform/SettingsFile.h"
#include "platform/dbus/FreedesktopNotifier.h"
#include "platform/ui/QtScreens.h"
#include "platform/ui/WindowSystem.h"
#include "platform/wayland/GnomeShellMonitor.h"
#include "platform/wayland/KWinScriptMonitor.h"
#include "platform/wayland/WlrToplevelMonitor.h"
#include "platform/x11/X11ActiveWindowMonitor.h"
#include "setup/RouterOperations.h"
#include "setup/SystemSetupEngine.h"
#include "usage/TranscriptIndex.h"
#include "wizard/WizardController.h"
#include "wizard/ui/LauncherServices.h"

#include <QClipboard>
#include <QCommandLineParser>
#include <QDBusConnection>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace App {

namespace {

// Whatever is wrong with the manifest, the installation is damaged and the remedy is the same:
// the user is told where, and the log's line says what.
void reportDamagedInstallation(const Manifest::ManifestLoadError &error)
{
    const QString message = Platform::Resources::directory() +
                            QStringLiteral(" is missing its bundled install-manifest.json");
    std::fprintf(stderr, "%s\n", qUtf8Printable(message));
    std::fflush(stderr);
    // Started from the menu, nobody reads standard error. Where no user can see a window
    // (offscreen, minimal), a box would only keep the program from ending.
    const QString platform = QGuiApplication::platformName();
    if (platform == u"offscreen" || platform == u"minimal")
        return;
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Orvane"), message, QMessageBox::Ok);
    box.setInformativeText(error.description());
    box.exec();
}

// A Wayland session, whatever the login manager calls it (sway started from a console runs in
// a "tty" session).
bool waylandSession()
{
    return qgetenv("XDG_SESSION_TYPE") != "x11" && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

OrvaneApp::OrvaneApp(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Orvane"));
    setApplicationDisplayName(QStringLiteral("Orvane"));
    setApplicationVersion(QStringLiteral(ORVANE_VERSION));
    setOrganizationName(QStringLiteral("Orvane"));
    setDesktopFileName(QStringLiteral("orvane"));
    // Closing the setup window leaves the process running so the overlay keeps working.
    setQuitOnLastWindowClosed(false);
}

OrvaneApp::~OrvaneApp() = default;

bool OrvaneApp::initialize()
{
    m_instance = std::make_unique<SingleInstance>();
    switch (m_instance->claim()) {
    case SingleInstance::Role::Serving:
        qCDebug(lcApp) << "serving as the running instance at" << m_instance->socketPath();
        break;
    case SingleInstance::Role::HandedOver:
        qCDebug(lcApp) << "handed over to the running instance";
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
    connect(m_instance.get(), &SingleInstance::showRequested, this, [this] {
        qCDebug(lcApp) << "another start asked for the setup window";
        showSetupWindow();
    });
    // Ending like Quit: the parts are taken down, an installer under way with them.
    m_quitSignals = std::make_unique<QuitSignals>();
    connect(m_quitSignals.get(), &QuitSignals::received, this, &QCoreApplication::quit);
    // What a killed copy left: answers files holding a key, no longer read by any installer.
    Setup::RunningInstalls::removeLeftAnswersFiles(Setup::answersDirectory());

    // A damaged installation ends here, before any window appears.
    auto resolved = Manifest::ManifestLoader::load();
    if (!resolved) {
        reportDamagedInstallation(resolved.error());
        m_exitCode = EXIT_FAILURE;
        return false;
    }

    m_settings = Platform::openSettings();
    m_notifier = std::make_unique<Platform::FreedesktopNotifier>();
    buildOverlay();

    m_tray = std::make_unique<TrayMenu>(m_timers, *m_notifier);
    connect(m_tray.get(), &TrayMenu::openRequested, this, &OrvaneApp::showSetupWindow);
    connect(m_tray.get(), &TrayMenu::quitRequested, this, &QCoreApplication::quit);

    m_engine = std::make_unique<Setup::SystemSetupEngine>();
    m_wizard = std::make_unique<Wizard::WizardController>(
        *m_engine,
        [resolved = std::move(*resolved)] {
            return std::expected<Manifest::Resolved, Wizard::Failure>(resolved);
        },
        m_timers);
    setWindowIcon(AppIcon::icon());
    m_window = std::make_unique<SetupWindow>(
        Platform::WindowSystem::supportsTranslucency(), *m_wizard,
        Wizard::LauncherServices{.clipboard = clipboard(), .settings = m_settings.get(),
                                 .timers = &m_timers, .isDesktopAppRunning = {},
                                 .ask = Wizard::MessageBox::ask,
                                 .hasTray = [tray = m_tray.get()] { return tray->isShown(); },
                                 .sessionNotice = [this] { return sessionNotice(); }});
    connect(m_window.get(), &SetupWindow::quitRequested, this, &QCoreApplication::quit);
    connect(m_window.get(), &SetupWindow::closed, m_tray.get(), &TrayMenu::windowClosed);

    QTimer::singleShot(0, this, &OrvaneApp::start);
    return true;
}

void OrvaneApp::buildOverlay()
{
    m_origins = std::make_unique<Overlay::SettingsOriginStore>(*m_settings);
    const auto stacking = chooseActiveWindowMonitor();
    m_screens = std::make_unique<Platform::QtScreens>();
    const QString home = Platform::homeDirectory();
    m_transcripts = std::make_unique<Usage::TranscriptIndex>(
        Platform::homePath().toStdString(), 0, Usage::RootEnvironment::fromProcess());
    m_overlay = std::make_unique<Overlay::OverlayPanelController>(
        Overlay::OverlayPanelController::Seams{
            .monitor = *m_monitor, .screens = *m_screens, .origins = *m_origins,
            .clock = m_clock, .timers = m_timers, .transcripts = *m_transcripts,
            .homeDirectory = home, .executableName = Platform::processExecutableName,
            .makePanel = [stacking](Overlay::OverlayState &state) -> std::unique_ptr<Overlay::Panel> {
                return Overlay::OverlayPanelWindow::withPill(state, stacking);
            },
            .notifier = m_notifier.get(),
            .contextWarnings = Overlay::ContextWarnings::thresholdsFrom(
                m_settings->value(QStringLiteral("overlay.contextWarnings")))});
}

Overlay::OverlayPanelWindow::Stacking OrvaneApp::chooseActiveWindowMonitor()
{
    using Stacking = Overlay::OverlayPanelWindow::Stacking;
    // Each Wayland desktop tells the active window its own way, XWayland windows included; the
    // pill itself is an XWayland window. sway and its kin would tile it and give it the focus,
    // so there it stays out of their hands.
    if (waylandSession()) {
        if (auto wlroots = Platform::WlrToplevelMonitor::connect(m_timers)) {
            qCDebug(lcApp) << "active windows from the wlroots compositor";
            m_monitor = std::move(wlroots);
            return Stacking::OverrideRedirect;
        }
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (Platform::KWinScriptMonitor::available(bus)) {
            qCDebug(lcApp) << "active windows from a KWin script";
            m_monitor = std::make_unique<Platform::KWinScriptMonitor>(bus, m_timers);
            return Stacking::Managed;
        }
        if (Platform::GnomeShellMonitor::available(bus)) {
            qCDebug(lcApp) << "active windows from the GNOME Shell extension";
            auto gnome = std::make_unique<Platform::GnomeShellMonitor>(bus, m_timers);
            connect(gnome.get(), &Platform::GnomeShellMonitor::extensionRunsChanged, this,
                    [this, monitor = gnome.get()] {
                        m_gnomeExtensionMissing = monitor->extensionRuns() == false;
                    });
            m_monitor = std::move(gnome);
            return Stacking::Managed;
        }
        qCWarning(lcApp, "this Wayland desktop tells no active window: the usage overlay "
                         "follows XWayland windows only");
    }
    // X11 tells any client which window is active; without a display the monitor knows none
    // and the pill never shows.
    m_monitor = Platform::X11ActiveWindowMonitor::create(m_timers);
    if (!qobject_cast<Platform::X11ActiveWindowMonitor *>(m_monitor.get()))
        qCDebug(lcApp).nospace() << "no X11 display on platform " << platformName()
                                 << ": the usage overlay stays hidden";
    return Stacking::Managed;
}

QString OrvaneApp::sessionNotice()
{
    if (!m_gnomeExtensionMissing || m_gnomeExtensionNoticeShown)
        return {};
    m_gnomeExtensionNoticeShown = true;
    return QStringLiteral("The usage pill needs Orvane\u2019s GNOME Shell extension. Turn it on "
                          "in a terminal, then log out and back in:\ngnome-extensions enable %1")
        .arg(QLatin1String(Platform::GnomeShellMonitor::extensionUuid));
}

int OrvaneApp::run()
{
    if (const auto status = handleCommandLine())
        return *status;
    return initialize() ? exec() : m_exitCode;
}

std::optional<int> OrvaneApp::handleCommandLine()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Sets up the Orvane gateway for your AI coding agents and shows their token usage."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    if (!parser.parse(arguments()) || !parser.positionalArguments().isEmpty()) {
        const QString error = parser.positionalArguments().isEmpty()
                                  ? parser.errorText()
                                  : QStringLiteral("Unexpected argument '%1'.")
                                        .arg(parser.positionalArguments().constFirst());
        std::fprintf(stderr, "orvane: %s\nTry 'orvane --help' for more information.\n",
                     qUtf8Printable(error));
        return 2;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qUtf8Printable(parser.helpText()), stdout);
        return EXIT_SUCCESS;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qUtf8Printable(applicationName()),
                    qUtf8Printable(applicationVersion()));
        return EXIT_SUCCESS;
    }
    return std::nullopt;
}

void OrvaneApp::start()
{
    const int fonts = FontRegistration::registerFonts();
    qCDebug(lcApp) << "registered" << fonts << "of" << FontRegistration::fontNames().size()
                   << "fonts";
    showSetupWindow();
    m_overlay->start();
    qCDebug(lcApp) << "usage overlay started";
    m_tray->showWhenAvailable();
}

void OrvaneApp::showSetupWindow()
{
    m_window->bringToFront();
}

} // namespace App

#include "overlay/ui/DesktopOverlay.h"

#include "overlay/OverlayPanelController.h"
#include "overlay/ui/OverlayPanelWindow.h"
#include "overlay/SettingsOriginStore.h"
#include "platform/HomeDirectory.h"
#include "platform/ProcessExecutable.h"
#include "platform/ui/QtScreens.h"
#include "platform/Timers.h"
#include "platform/x11/X11ActiveWindowMonitor.h"
#include "usage/TranscriptIndex.h"

namespace Overlay {

DesktopOverlay::DesktopOverlay()
    : m_origins(std::make_unique<SettingsOriginStore>(m_settings))
    , m_monitor(Platform::X11ActiveWindowMonitor::create())
    , m_screens(std::make_unique<Platform::QtScreens>())
    , m_transcripts(std::make_unique<Usage::TranscriptIndex>(Platform::homeDirectory()))
{
    m_controller = std::make_unique<OverlayPanelController>(OverlayPanelController::Seams{
        .monitor = *m_monitor, .screens = *m_screens, .origins = *m_origins,
        .clock = Platform::SystemClock::instance(), .timers = Platform::QtTimers::instance(),
        .transcripts = *m_transcripts, .homeDirectory = Platform::homeDirectory(),
        .executableName = Platform::processExecutableName,
        .makePanel = [](OverlayState &state) -> std::unique_ptr<Panel> {
            return OverlayPanelWindow::withPill(state);
        }});
}

DesktopOverlay::~DesktopOverlay()
{
    // The controller goes first: it holds on to everything else.
    m_controller.reset();
}

void DesktopOverlay::start()
{
    m_controller->start();
}

} // namespace Overlay

#pragma once

#include "overlay/OverlayController.h"

#include <QSettings>

#include <memory>

namespace Platform {
class ActiveWindowMonitor;
class QtScreens;
} // namespace Platform

namespace Usage {
class TranscriptSource;
} // namespace Usage

namespace Overlay {

class OverlayPanelController;
class SettingsOriginStore;

// The usage overlay as the application runs it: the controller over the real window system
// (the X11 active-window monitor, or none where it cannot tell), Qt's screens, the application's
// settings, the wall clock and main-loop timers, and an inotify-fed index of the transcripts
// below the user's home directory.
class DesktopOverlay final : public OverlayController
{
public:
    DesktopOverlay();
    ~DesktopOverlay() override;

    void start() override;

private:
    QSettings m_settings;
    std::unique_ptr<SettingsOriginStore> m_origins;
    std::unique_ptr<Platform::ActiveWindowMonitor> m_monitor;
    std::unique_ptr<Platform::QtScreens> m_screens;
    std::unique_ptr<Usage::TranscriptSource> m_transcripts;
    std::unique_ptr<OverlayPanelController> m_controller;
};

} // namespace Overlay

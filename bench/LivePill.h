#pragma once

// The overlay controller with its real timers and clock over a home's transcripts (the inotify
// index), hosting the real pill in its real window, shown over a Claude window and expanded: the
// pill as it runs in the application, for the pill's benchmarks. EARLIER makes the pill and the
// controller behave as they did before their repaints and the count-up's first step were made
// faster, for the comparison.

#include "overlay/OverlayPanelController.h"
#include "overlay/ui/OverlayPanelWindow.h"
#include "overlay/ui/OverlayPillView.h"
#include "platform/Clock.h"
#include "platform/Timers.h"
#include "support/OverlayStandIns.h"
#include "usage/TranscriptIndex.h"

struct LivePill
{
    LivePill(const QString &home, bool earlier)
        : transcripts(home)
        , controller(Overlay::OverlayPanelController::Seams{
              .monitor = monitor,
              .screens = screens,
              .origins = origins,
              .clock = Platform::SystemClock::instance(),
              .timers = Platform::QtTimers::instance(),
              .transcripts = transcripts,
              .homeDirectory = home,
              .executableName = {},
              .makePanel = [this](Overlay::OverlayState &state) -> std::unique_ptr<Overlay::Panel> {
                  auto made = Overlay::OverlayPanelWindow::withPill(state);
                  window = made.get();
                  return made;
              },
              .firstStepAtOnce = !earlier})
    {
        pill().setRepaintingEverything(earlier);
        controller.start();
        controller.toggle();
    }

    Overlay::OverlayPillView &pill() const
    {
        return *static_cast<Overlay::OverlayPillView *>(window->content());
    }

    StandIns::ScriptedMonitor monitor{StandIns::claude()};
    StandIns::FixedScreens screens;
    StandIns::MemoryOrigins origins;
    Usage::TranscriptIndex transcripts;
    Overlay::OverlayPanelWindow *window = nullptr;
    Overlay::OverlayPanelController controller;
};

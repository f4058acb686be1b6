#pragma once

#include "overlay/ContextWarnings.h"
#include "overlay/CountUpAnimator.h"
#include "overlay/DesktopHarness.h"
#include "overlay/OverlayState.h"

#include <QList>
#include <QObject>
#include <QRect>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace Platform {
class ActiveWindowMonitor;
class Notifier;
struct ActiveWindow;
class Clock;
class Screens;
class TimerHandle;
class Timers;
} // namespace Platform

namespace Usage {
class DesktopSessionFileTracker;
class TokenUsageReader;
class TranscriptSource;
} // namespace Usage

namespace Gateway {
class GatewayStatusClient;
} // namespace Gateway

namespace Overlay {

class OriginStore;
class Panel;

// Owns the usage overlay for the life of the process: shows the pill while a supported desktop
// application has the active window and hides it otherwise, places it and remembers where the
// user put it, polls the gateway and shows its answers, follows the active conversation's
// transcript into the pill's counters and notices new conversations. It is the one writer of the
// pill's state. Main thread only.
//
// The transcript source's change handler says when to read the counters again: an append to the
// newest transcript, a newer one, one renamed over it or one removed. Where the source cannot
// report every change (no inotify, or out of watches), the counters are read again at every
// display tick instead.
class OverlayPanelController final : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds pollInterval{15000};
    static constexpr std::chrono::milliseconds displayInterval{1000};
    static constexpr std::chrono::milliseconds animationInterval{16}; // about 60 steps a second
    // Transcript bytes read per turn of the event loop (a few milliseconds of work), so that a
    // transcript that grew by gigabytes is caught up with in slices between repaints.
    static constexpr std::uint64_t readSlice = 8 * 1024 * 1024;
    static constexpr int rightInset = 22;
    static constexpr int topInset = 18;

    // What the controller reaches the outside world through; each must outlive the controller.
    struct Seams
    {
        Platform::ActiveWindowMonitor &monitor;
        Platform::Screens &screens;
        OriginStore &origins;
        const Platform::Clock &clock;
        Platform::Timers &timers;
        Usage::TranscriptSource &transcripts;
        // The home directory that holds the gateway's configuration file.
        QString homeDirectory;
        // The program name behind a process id (see Platform::processExecutableName).
        std::function<QString(std::int64_t)> executableName;
        // Makes the window that shows the state; called once, in the constructor.
        std::function<std::unique_ptr<Panel>(OverlayState &state)> makePanel;
        // Where the context warnings go (none: not sent), and at which percentages.
        Platform::Notifier *notifier = nullptr;
        QList<int> contextWarnings = {80, 95};
        // Whether a count-up's first step is taken when the new numbers arrive; false waits for
        // the first tick, as earlier (the benchmark's comparison).
        bool firstStepAtOnce = true;
    };

    explicit OverlayPanelController(Seams seams, QObject *parent = nullptr);
    ~OverlayPanelController() override;

    void start();
    bool isStarted() const { return m_started; }

    OverlayState &state() { return *m_state; }
    Panel &panel() { return *m_panel; }
    Gateway::GatewayStatusClient &gatewayClient() { return *m_gateway; }
    const std::optional<DesktopHarness> &activeHarness() const { return m_activeHarness; }
    bool isAnimating() const { return m_animationTimer != nullptr; }

    // The pill's header was clicked: expand or collapse, keeping the top edge.
    void toggle();

private:
    void updateVisibility(const std::optional<Platform::ActiveWindow> &window);
    void place(const std::optional<Platform::ActiveWindow> &window);
    void displayTick();
    void refreshGateway();
    void resetForNewConversation();
    void readUsage();
    void startAnimationIfNeeded();
    void advanceAnimation();
    void stopAnimation();
    void saveOrigin();
    // Sizes the panel to the pill: expanded or not, and its quota rows.
    void resize();

    Platform::ActiveWindowMonitor &m_monitor;
    Platform::Screens &m_screens;
    OriginStore &m_origins;
    const Platform::Clock &m_clock;
    Platform::Timers &m_timers;
    Usage::TranscriptSource &m_transcripts;
    std::function<QString(std::int64_t)> m_executableName;

    std::unique_ptr<OverlayState> m_state;
    std::unique_ptr<Panel> m_panel;
    std::unique_ptr<Gateway::GatewayStatusClient> m_gateway;
    std::unique_ptr<Usage::DesktopSessionFileTracker> m_tracker;
    std::unique_ptr<Usage::TokenUsageReader> m_reader;
    CountUpAnimator m_animator;
    ContextWarnings m_contextWarnings;

    bool m_started = false;
    std::optional<DesktopHarness> m_activeHarness;
    std::unique_ptr<Platform::TimerHandle> m_pollTimer;
    std::unique_ptr<Platform::TimerHandle> m_displayTimer;
    std::unique_ptr<Platform::TimerHandle> m_animationTimer;
    // A stopped animation timer, kept until the next start: it may be stopped from its own tick.
    std::unique_ptr<Platform::TimerHandle> m_retiredAnimationTimer;
    std::optional<std::chrono::system_clock::time_point> m_lastAnimationTick;
    // Reads the rest of a transcript the last read left for later; retired like the animation's.
    std::unique_ptr<Platform::TimerHandle> m_readRestTimer;
    std::unique_ptr<Platform::TimerHandle> m_retiredReadRestTimer;
    // The counters are read at every display tick: the source does not report every change.
    bool m_readEveryTick = false;
    bool m_firstStepAtOnce;
};

} // namespace Overlay

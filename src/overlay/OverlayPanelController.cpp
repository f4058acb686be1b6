#include "overlay/OverlayPanelController.h"

#include "gateway/GatewayStatusClient.h"
#include "overlay/OriginStore.h"
#include "overlay/Panel.h"
#include "overlay/TranscriptWatch.h"
#include "platform/ActiveWindowMonitor.h"
#include "platform/Clock.h"
#include "platform/Screens.h"
#include "platform/Timers.h"
#include "usage/DesktopSessionFileTracker.h"
#include "usage/TokenUsageReader.h"

#include <QPointer>

namespace Overlay {

namespace {

const QString claudeId = QStringLiteral("claude-code");
const QString codexId = QStringLiteral("codex");

// Left and top edges inside, right and bottom edges outside.
bool liesInside(QPoint point, const QRect &area)
{
    return point.x() >= area.x() && point.x() < area.x() + area.width() && point.y() >= area.y()
           && point.y() < area.y() + area.height();
}

} // namespace

OverlayPanelController::OverlayPanelController(Seams seams, QObject *parent)
    : QObject(parent)
    , m_monitor(seams.monitor)
    , m_screens(seams.screens)
    , m_origins(seams.origins)
    , m_clock(seams.clock)
    , m_timers(seams.timers)
    , m_executableName(std::move(seams.executableName))
    , m_state(std::make_unique<OverlayState>(seams.clock))
    , m_tracker(std::make_unique<Usage::DesktopSessionFileTracker>(seams.transcripts, seams.clock))
    , m_reader(std::make_unique<Usage::TokenUsageReader>(seams.transcripts))
{
    m_gateway = std::make_unique<GatewayStatusClient>(*m_state, seams.homeDirectory, seams.timers);
    // A new conversation's status waits for its first turn.
    m_gateway->setDiscardCheck([this] {
        return m_tracker->pending().contains(m_activeHarness ? m_activeHarness->id : QString());
    });
    m_reader->setReadBudget(readSlice);
    m_panel = seams.makePanel(*m_state);
    m_panel->setBox(QRect(0, 0, width, collapsedHeight));
    m_panel->setMovedHandler([this] { saveOrigin(); });
    m_panel->setToggleHandler([this] { toggle(); });
}

OverlayPanelController::~OverlayPanelController()
{
    // The watch and the timers go before the objects their actions reach.
    m_watch.reset();
    m_readRestTimer.reset();
    m_retiredReadRestTimer.reset();
    m_animationTimer.reset();
    m_retiredAnimationTimer.reset();
    m_recheckTimer.reset();
    m_displayTimer.reset();
    m_pollTimer.reset();
}

void OverlayPanelController::start()
{
    if (m_started)
        return;
    m_started = true;
    m_monitor.start();
    connect(&m_monitor, &Platform::ActiveWindowMonitor::activeWindowChanged, this,
            [this] { updateVisibility(m_monitor.activeWindow()); });
    m_pollTimer = m_timers.repeating(pollInterval, [this] { m_gateway->refresh(); });
    m_displayTimer = m_timers.repeating(displayInterval, [this] { displayTick(); });
    m_tracker->takeBaseline({claudeId, codexId});
    m_recheckTimer = m_timers.repeating(recheckInterval, [this] { retargetTranscriptWatch(); });
    m_gateway->refresh();
    updateVisibility(m_monitor.activeWindow());
}

void OverlayPanelController::updateVisibility(const std::optional<Platform::ActiveWindow> &window)
{
    const std::optional<DesktopHarness> harness =
        window ? DesktopHarness::forWindow(*window, m_executableName) : std::nullopt;
    if (!harness) {
        // The state keeps the last harness's values for the next showing.
        m_activeHarness.reset();
        m_panel->hidePanel();
        return;
    }
    m_activeHarness = harness;
    m_state->setHarness(harness->id);
    m_state->setHarnessLabel(harness->label);
    m_state->setSurface(harness->surface);
    place(window);
    m_panel->showPanel();
    m_gateway->refresh();
}

void OverlayPanelController::place(const std::optional<Platform::ActiveWindow> &window)
{
    const std::optional<QRect> area = m_screens.availableGeometry(
        window && window->frame.isValid() ? std::optional(window->frame.center()) : std::nullopt);
    if (!area)
        return; // no screen: shown wherever it last was
    QRect box = m_panel->box();
    const std::optional<QPoint> stored = m_origins.load();
    if (stored && liesInside(*stored, *area))
        box.moveTopLeft(*stored);
    else
        box.moveTopLeft(
            QPoint(area->x() + area->width() - box.width() - rightInset, area->y() + topInset));
    m_panel->setBox(box);
    saveOrigin();
}

void OverlayPanelController::toggle()
{
    m_state->setExpanded(!m_state->expanded());
    if (m_state->expanded())
        startAnimationIfNeeded();
    else
        stopAnimation();
    const QRect box = m_panel->box();
    m_panel->setBox(QRect(box.topLeft(),
                          QSize(width, m_state->expanded() ? expandedHeight : collapsedHeight)));
    saveOrigin();
}

void OverlayPanelController::saveOrigin()
{
    m_origins.save(m_panel->box().topLeft());
}

void OverlayPanelController::displayTick()
{
    m_state->notifyChanged();
    if (!m_activeHarness)
        return;
    const auto event = m_tracker->poll(m_activeHarness->id);
    if (!event)
        return;
    if (*event == Usage::DesktopSessionFileTracker::Event::SessionReady)
        m_gateway->refresh();
    else
        resetForNewConversation();
}

void OverlayPanelController::resetForNewConversation()
{
    m_state->setCacheExpiresAt(std::nullopt);
    m_state->setSavingsPct(std::nullopt);
    m_state->setAsksOpen(0);
    m_state->setAnswersFresh(0);
    m_state->setModel(QStringLiteral("Orvane"));
    m_state->setDetail(QStringLiteral("Waiting for first turn\u2026"));
    m_reader->reset();
    // The running watch stays until the next re-target binds the new file.
    m_watchedPath.reset();
    m_state->setUsage(std::nullopt);
    m_state->setDisplayedUsage(std::nullopt);
    m_animator.reset();
    m_state->notifyChanged();
}

void OverlayPanelController::retargetTranscriptWatch()
{
    if (!m_activeHarness)
        return;
    const std::optional<QByteArray> path = m_reader->activeSessionPath(m_activeHarness->id);
    if (!path || (m_watchedPath && *m_watchedPath == *path))
        return;
    // Only one watch at a time: the old one is gone before the new file is opened.
    m_watch.reset();
    auto watch = std::make_unique<TranscriptWatch>(*path);
    if (!watch->isValid())
        return; // tried again at the next tick
    m_watchedPath = path;
    // Queued: the handlers may replace the watch that reports.
    const QPointer<TranscriptWatch> source = watch.get();
    connect(
        watch.get(), &TranscriptWatch::modified, this,
        [this, source] {
            if (source && source == m_watch.get())
                readUsage();
        },
        Qt::QueuedConnection);
    connect(
        watch.get(), &TranscriptWatch::gone, this,
        [this, source] {
            if (!source || source != m_watch.get())
                return;
            m_watchedPath.reset();
            retargetTranscriptWatch();
        },
        Qt::QueuedConnection);
    m_watch = std::move(watch);
    readUsage();
}

void OverlayPanelController::readUsage()
{
    if (!m_activeHarness)
        return;
    const auto read = m_reader->usage(m_activeHarness->id);
    m_state->setUsage(read ? std::optional(read->usage) : std::nullopt);
    startAnimationIfNeeded();
    if (read && !read->readToEnd && !m_readRestTimer) {
        m_readRestTimer = m_timers.singleShot(std::chrono::milliseconds(0), [this] {
            m_retiredReadRestTimer = std::move(m_readRestTimer);
            readUsage();
        });
    }
}

void OverlayPanelController::startAnimationIfNeeded()
{
    if (!m_state->expanded() || m_animationTimer)
        return;
    if (m_state->usage() == m_state->displayedUsage())
        return;
    m_retiredAnimationTimer.reset();
    m_lastAnimationTick = m_clock.now();
    m_animationTimer = m_timers.repeating(animationInterval, [this] { advanceAnimation(); });
}

void OverlayPanelController::advanceAnimation()
{
    const std::optional<Usage::TokenUsage> target = m_state->usage();
    if (!target) {
        stopAnimation();
        return;
    }
    const auto now = m_clock.now();
    const double elapsed =
        m_lastAnimationTick ? std::chrono::duration<double>(now - *m_lastAnimationTick).count() : 0.0;
    m_lastAnimationTick = now;
    const Usage::TokenUsage shown = m_animator.advance(*target, elapsed);
    m_state->setDisplayedUsage(shown);
    if (shown == *target)
        stopAnimation();
}

void OverlayPanelController::stopAnimation()
{
    if (m_animationTimer) {
        m_animationTimer->stop();
        m_retiredAnimationTimer = std::move(m_animationTimer);
    }
    m_lastAnimationTick.reset();
}

} // namespace Overlay

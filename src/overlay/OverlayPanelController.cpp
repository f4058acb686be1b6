#include "overlay/OverlayPanelController.h"

#include "gateway/GatewayStatusClient.h"
#include "overlay/GatewayFields.h"
#include "overlay/Log.h"
#include "overlay/OriginStore.h"
#include "overlay/Panel.h"
#include "overlay/PillGeometry.h"
#include "platform/ActiveWindowMonitor.h"
#include "platform/Clock.h"
#include "platform/Screens.h"
#include "platform/Timers.h"
#include "usage/DesktopSessionFileTracker.h"
#include "usage/TokenUsageReader.h"

namespace Overlay {

namespace {

const QString claudeId = QStringLiteral("claude-code");
const QString codexId = QStringLiteral("codex");

} // namespace

OverlayPanelController::OverlayPanelController(Seams seams, QObject *parent)
    : QObject(parent)
    , m_monitor(seams.monitor)
    , m_screens(seams.screens)
    , m_origins(seams.origins)
    , m_clock(seams.clock)
    , m_timers(seams.timers)
    , m_transcripts(seams.transcripts)
    , m_executableName(std::move(seams.executableName))
    , m_state(std::make_unique<OverlayState>(seams.clock))
    , m_gateway(std::make_unique<Gateway::GatewayStatusClient>(seams.homeDirectory, seams.timers))
    , m_tracker(std::make_unique<Usage::DesktopSessionFileTracker>(seams.transcripts, seams.clock))
    , m_reader(std::make_unique<Usage::TokenUsageReader>(seams.transcripts))
    , m_contextWarnings(seams.notifier, std::move(seams.contextWarnings))
    , m_firstStepAtOnce(seams.firstStepAtOnce)
{
    connect(m_gateway.get(), &Gateway::GatewayStatusClient::finished, this,
            [this](const Gateway::StatusResult &result) {
                // A new conversation's status waits for its first turn.
                if (result &&
                    m_activeHarness && m_tracker->pending().contains(m_activeHarness->id))
                    return;
                m_state->update([&](OverlaySnapshot &fields) { showGatewayResult(fields, result); });
            });
    m_reader->setReadBudget(readSlice);
    m_panel = seams.makePanel(*m_state);
    m_panel->setBox(QRect(QPoint(0, 0), PillGeometry::size(false)));
    m_panel->setMovedHandler([this] { saveOrigin(); });
    m_panel->setToggleHandler([this] { toggle(); });
}

OverlayPanelController::~OverlayPanelController()
{
    // The change handler and the timers go before the objects their actions reach.
    m_transcripts.setChangeHandler({});
    m_readRestTimer.reset();
    m_retiredReadRestTimer.reset();
    m_animationTimer.reset();
    m_retiredAnimationTimer.reset();
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
    m_pollTimer = m_timers.repeating(pollInterval, [this] { refreshGateway(); });
    m_displayTimer = m_timers.repeating(displayInterval, [this] { displayTick(); });
    m_tracker->takeBaseline({Manifest::knownHarnesses.begin(), Manifest::knownHarnesses.end()});
    m_transcripts.setChangeHandler([this] { readUsage(); });
    refreshGateway();
    updateVisibility(m_monitor.activeWindow());
}

void OverlayPanelController::refreshGateway()
{
    m_gateway->refresh(Manifest::harnessId(m_state->snapshot().harness),
                       m_state->snapshot().surface);
}

void OverlayPanelController::updateVisibility(const std::optional<Platform::ActiveWindow> &window)
{
    // The pill itself getting the attention (a window manager that activates what is clicked)
    // leaves everything as it is.
    if (window && m_panel->isPanelWindow(window->x11Window))
        return;
    const std::optional<DesktopHarness> harness =
        window ? DesktopHarness::forWindow(*window, m_executableName) : std::nullopt;
    if (!harness) {
        // The state keeps the last harness's values for the next showing.
        if (m_activeHarness)
            qCDebug(lcOverlay, "Pill hidden");
        m_activeHarness.reset();
        m_panel->hidePanel();
        return;
    }
    if (m_activeHarness != harness)
        qCDebug(lcOverlay, "Pill shown for %s", qUtf8Printable(Manifest::harnessId(harness->id)));
    m_activeHarness = harness;
    m_state->update([&](OverlaySnapshot &fields) {
        fields.harness = harness->id;
        fields.harnessLabel = harness->label;
        fields.surface = harness->surface;
    });
    place(window);
    m_panel->showPanel(window ? window->x11Window : 0);
    refreshGateway();
    readUsage();
}

void OverlayPanelController::place(const std::optional<Platform::ActiveWindow> &window)
{
    const std::optional<QRect> area = m_screens.availableGeometry(
        window && window->frame.isValid() ? std::optional(window->frame.center()) : std::nullopt);
    if (!area) {
        qCDebug(lcOverlay, "No screen: the pill is shown where it last was");
        return;
    }
    QRect box = m_panel->box();
    const std::optional<QPoint> stored = m_origins.load();
    // The whole pill, not only its corner: a corner just inside leaves a sliver to grab.
    if (stored && area->contains(QRect(*stored, box.size()))) {
        box.moveTopLeft(*stored);
    } else {
        if (stored)
            qCDebug(lcOverlay, "The pill's saved place lies off this screen: default place");
        box.moveTopLeft(
            QPoint(area->x() + area->width() - box.width() - rightInset, area->y() + topInset));
    }
    m_panel->setBox(box);
    saveOrigin();
}

void OverlayPanelController::toggle()
{
    m_state->update([](OverlaySnapshot &fields) { fields.expanded = !fields.expanded; });
    const bool expanded = m_state->snapshot().expanded;
    if (expanded)
        startAnimationIfNeeded();
    else
        stopAnimation();
    resize();
    saveOrigin();
}

void OverlayPanelController::resize()
{
    const OverlaySnapshot &fields = m_state->snapshot();
    const QSize size = PillGeometry::size(fields.expanded, PillGeometry::quotaRows(fields.quota));
    if (m_panel->box().size() != size)
        m_panel->setBox(QRect(m_panel->box().topLeft(), size));
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
    const bool readEveryTick = !m_transcripts.reportsChangesOf(m_activeHarness->id);
    if (readEveryTick != m_readEveryTick) {
        qCDebug(lcOverlay, readEveryTick ? "Transcripts not watched: counters read every second"
                                         : "Transcripts watched: counters read on changes");
        m_readEveryTick = readEveryTick;
    }
    if (readEveryTick)
        readUsage();
    const auto event = m_tracker->poll(m_activeHarness->id);
    if (!event)
        return;
    if (*event == Usage::DesktopSessionFileTracker::Event::SessionReady) {
        qCDebug(lcOverlay, "The new conversation is under way");
        refreshGateway();
    } else {
        resetForNewConversation();
    }
}

void OverlayPanelController::resetForNewConversation()
{
    qCDebug(lcOverlay, "New conversation: waiting for its first turn");
    m_reader->reset();
    m_animator.reset();
    m_state->update([](OverlaySnapshot &fields) {
        fields.cacheExpiresAt.reset();
        fields.savingsPct.reset();
        fields.asksOpen = 0;
        fields.answersFresh = 0;
        fields.model = QStringLiteral("Orvane");
        fields.detail = QStringLiteral("Waiting for first turn\u2026");
        fields.usage.reset();
        fields.quota = {};
        fields.displayedUsage.reset();
    });
    resize();
    // What the new file holds already (its first turn may have come with it).
    readUsage();
}

void OverlayPanelController::readUsage()
{
    if (!m_activeHarness)
        return;
    // Without a transcript the counters known so far stay.
    const auto read = m_reader->usage(m_activeHarness->id);
    if (!read)
        return;
    if (read->usage != m_state->snapshot().usage)
        m_state->update([&](OverlaySnapshot &fields) { fields.usage = read->usage; });
    if (read->quota != m_state->snapshot().quota) {
        m_state->update([&](OverlaySnapshot &fields) { fields.quota = read->quota; });
        resize();
    }
    m_contextWarnings.update(read->path, m_activeHarness->label, read->usage.contextFraction());
    startAnimationIfNeeded();
    if (!read->readToEnd && !m_readRestTimer) {
        m_readRestTimer = m_timers.singleShot(std::chrono::milliseconds(0), [this] {
            m_retiredReadRestTimer = std::move(m_readRestTimer);
            readUsage();
        });
    }
}

void OverlayPanelController::startAnimationIfNeeded()
{
    const OverlaySnapshot &fields = m_state->snapshot();
    if (!fields.expanded || m_animationTimer)
        return;
    if (fields.usage == fields.displayedUsage)
        return;
    m_retiredAnimationTimer.reset();
    m_animationTimer = m_timers.repeating(animationInterval, [this] { advanceAnimation(); });
    if (!m_firstStepAtOnce) {
        m_lastAnimationTick = m_clock.now();
        return;
    }
    // The first step at once, as one tick's worth: new numbers reach the screen in this turn of
    // the event loop rather than a tick later.
    m_lastAnimationTick = m_clock.now() - animationInterval;
    advanceAnimation();
}

void OverlayPanelController::advanceAnimation()
{
    const std::optional<Usage::TokenUsage> target = m_state->snapshot().usage;
    if (!target) {
        stopAnimation();
        return;
    }
    const auto now = m_clock.now();
    const double elapsed =
        m_lastAnimationTick ? std::chrono::duration<double>(now - *m_lastAnimationTick).count() : 0.0;
    m_lastAnimationTick = now;
    const Usage::TokenUsage shown = m_animator.advance(*target, elapsed);
    m_state->update([&](OverlaySnapshot &fields) { fields.displayedUsage = shown; });
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

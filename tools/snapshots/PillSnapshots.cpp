// The overlay's pill with fixed sample data, cropped to the pill's own box: the picture holds
// what the panel shows, without the transparent room kept for the shadow.
#include "Snapshot.h"

#include "overlay/ui/OverlayPillView.h"
#include "overlay/OverlayState.h"
#include "overlay/PillGeometry.h"
#include "platform/Clock.h"

#include <QPainter>
#include <QWidget>

namespace Snapshots {

namespace {

using Overlay::OverlayPillView;
using Overlay::OverlaySnapshot;
using Overlay::OverlayState;
using Overlay::PillGeometry;
using Usage::TokenUsage;

// A fixed moment, so that countdowns read the same in every run.
class FixedClock final : public Platform::Clock
{
public:
    std::chrono::system_clock::time_point now() const override
    {
        return std::chrono::system_clock::time_point(std::chrono::seconds(1800000000));
    }
    static double seconds() { return 1800000000.0; }
};

const FixedClock &fixedClock()
{
    static const FixedClock clock;
    return clock;
}

// A box of the pill's size that shows the view with its shadow margin cut away. The box owns
// the state and the view.
std::unique_ptr<QWidget> pill(const std::function<void(OverlaySnapshot &)> &setUp,
                              bool translucent = true)
{
    auto box = std::make_unique<QWidget>();
    auto *state = new OverlayState(fixedClock(), box.get());
    state->update(setUp);
    auto *view = new OverlayPillView(*state, translucent, box.get());
    const QMargins margins = view->shadowMargins();
    view->setGeometry(QRect(QPoint(-margins.left(), -margins.top()), view->sizeHint()));
    return box;
}

// The whole view, shadow included, over a light surface such as a bright window behind the pill.
class LightDesktop final : public QWidget
{
protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).fillRect(rect(), QColor(236, 236, 232));
    }
};

std::unique_ptr<QWidget> onDesktop(const std::function<void(OverlaySnapshot &)> &setUp)
{
    auto desktop = std::make_unique<LightDesktop>();
    auto *state = new OverlayState(fixedClock(), desktop.get());
    state->update(setUp);
    auto *view = new OverlayPillView(*state, true, desktop.get());
    view->setGeometry(QRect(QPoint(20, 20), view->sizeHint()));
    return desktop;
}

QSize collapsed()
{
    return PillGeometry::size(false);
}

QSize expanded()
{
    return PillGeometry::size(true);
}

void connectedWithCache(OverlaySnapshot &fields)
{
    fields.connected = true;
    fields.model = QStringLiteral("Sonnet 4.5");
    fields.detail = QStringLiteral("orv (subscription)");
    fields.cacheExpiresAt = FixedClock::seconds() + 4 * 60 + 32.6;
    fields.savingsPct = 38.0;
    fields.asksOpen = 2;
    fields.answersFresh = 1;
}

// Codex with its 5-hour window resetting later today and, with SECONDARY, its weekly one
// resetting in four days.
void codexWithQuota(OverlaySnapshot &fields, bool secondary)
{
    connectedWithCache(fields);
    fields.harnessLabel = QStringLiteral("Codex");
    fields.harness = Manifest::KnownHarness::Codex;
    fields.expanded = true;
    fields.usage = Usage::TokenUsage{.cacheRead = 412800,
                                     .cacheWrite = 0,
                                     .freshInput = 38120,
                                     .output = 9876,
                                     .contextWindow = 272000,
                                     .contextUsed = 61200};
    const auto now = std::int64_t(FixedClock::seconds());
    fields.quota.primary = Usage::QuotaWindow{37.5, 300, now + 2 * 3600 + 20 * 60};
    if (secondary)
        fields.quota.secondary = Usage::QuotaWindow{91.0, 10080, now + 4 * 86400};
}

} // namespace

QList<Snapshot> pillSnapshots()
{
    return {
        {QStringLiteral("pill-collapsed-initial"), [] { return pill([](OverlaySnapshot &) {}); },
         collapsed()},
        {QStringLiteral("pill-collapsed-connected"), [] { return pill(connectedWithCache); },
         collapsed()},
        {QStringLiteral("pill-collapsed-not-configured"),
         [] {
             return pill([](OverlaySnapshot &fields) {
                 fields.harnessLabel = QStringLiteral("Codex");
                 fields.detail = QStringLiteral("Gateway not configured");
             });
         },
         collapsed()},
        {QStringLiteral("pill-collapsed-long-line"),
         [] {
             return pill([](OverlaySnapshot &fields) {
                 fields.connected = true;
                 fields.detail = QStringLiteral("Routing through the team plan, fallback to the "
                                                "personal key");
                 fields.savingsPct = 12.5;
                 fields.asksOpen = 12;
                 fields.answersFresh = 3;
             });
         },
         collapsed()},
        {QStringLiteral("pill-collapsed-opaque"), [] { return pill(connectedWithCache, false); },
         collapsed()},
        {QStringLiteral("pill-expanded-context-near-full"),
         [] {
             return pill([](OverlaySnapshot &fields) {
                 connectedWithCache(fields);
                 fields.expanded = true;
                 fields.usage = Usage::TokenUsage{.cacheRead = 1284312,
                                           .cacheWrite = 45210,
                                           .freshInput = 812,
                                           .output = 23968,
                                           .contextWindow = 200000,
                                           .contextUsed = 186400};
             });
         },
         expanded()},
        {QStringLiteral("pill-expanded-context-low"),
         [] {
             return pill([](OverlaySnapshot &fields) {
                 connectedWithCache(fields);
                 fields.expanded = true;
                 fields.usage = Usage::TokenUsage{.cacheRead = 38211,
                                           .cacheWrite = 7020,
                                           .freshInput = 999,
                                           .output = 1250,
                                           .contextWindow = 200000,
                                           .contextUsed = 45210};
             });
         },
         expanded()},
        {QStringLiteral("pill-expanded-no-window"),
         [] {
             return pill([](OverlaySnapshot &fields) {
                 fields.connected = true;
                 fields.detail = QStringLiteral("Connected");
                 fields.expanded = true;
                 fields.usage = Usage::TokenUsage{.cacheRead = 0,
                                           .cacheWrite = 5210,
                                           .freshInput = 42,
                                           .output = 380,
                                           .contextWindow = std::nullopt,
                                           .contextUsed = 5252};
             });
         },
         expanded()},
        {QStringLiteral("pill-expanded-no-turns"),
         [] {
             return pill([](OverlaySnapshot &fields) {
                 fields.connected = true;
                 fields.detail = QStringLiteral("Waiting for first turn\u2026");
                 fields.expanded = true;
                 fields.usage = Usage::TokenUsage{.contextWindow = 200000, .contextUsed = 18000};
             });
         },
         expanded()},
        {QStringLiteral("pill-expanded-codex-one-quota-window"),
         [] { return pill([](OverlaySnapshot &fields) { codexWithQuota(fields, false); }); },
         PillGeometry::size(true, 1)},
        {QStringLiteral("pill-expanded-codex-two-quota-windows"),
         [] { return pill([](OverlaySnapshot &fields) { codexWithQuota(fields, true); }); },
         PillGeometry::size(true, 2)},
        {QStringLiteral("overlay-pill-shadow-on-light"),
         [] {
             return onDesktop([](OverlaySnapshot &fields) {
                 connectedWithCache(fields);
                 fields.expanded = true;
                 fields.usage = Usage::TokenUsage{.cacheRead = 38211,
                                           .cacheWrite = 7020,
                                           .freshInput = 999,
                                           .output = 1250,
                                           .contextWindow = 200000,
                                           .contextUsed = 45210};
             });
         },
         QSize(400, 270)},
    };
}

} // namespace Snapshots

#pragma once

// Stand-ins for the overlay controller's desktop seams, for tests and benchmarks that drive the
// controller without a display: an active window the caller sets, one screen's work area below a
// top panel, a saved origin kept in memory, and a panel that records what it is told.
#include "overlay/OriginStore.h"
#include "overlay/Panel.h"
#include "platform/ActiveWindowMonitor.h"
#include "platform/Screens.h"

#include <QRect>

#include <functional>

namespace StandIns {

// A top-level window of the application with that WM_CLASS.
inline Platform::ActiveWindow window(const QString &instance, const QString &className,
                                     std::optional<std::int64_t> pid = std::nullopt,
                                     const QString &appId = {})
{
    return {.id = 0x400001, .x11Window = 0x400001, .instanceName = instance, .className = className,
            .appId = appId, .pid = pid, .frame = QRect(100, 200, 800, 600)};
}
inline Platform::ActiveWindow claude() { return window(QStringLiteral("claude"), QStringLiteral("Claude")); }

class ScriptedMonitor final : public Platform::ActiveWindowMonitor
{
public:
    explicit ScriptedMonitor(std::optional<Platform::ActiveWindow> first = std::nullopt)
        : window(std::move(first))
    {}
    void start() override { started = true; }
    std::optional<Platform::ActiveWindow> activeWindow() const override { return window; }
    void activate(std::optional<Platform::ActiveWindow> next)
    {
        window = std::move(next);
        Q_EMIT activeWindowChanged();
    }
    std::optional<Platform::ActiveWindow> window;
    bool started = false;
};

struct FixedScreens final : Platform::Screens
{
    std::optional<QRect> availableGeometry(std::optional<QPoint> point) const override
    {
        askedAt = point;
        return area;
    }
    std::optional<QRect> area = QRect(0, 27, 1280, 773); // a top panel of 27
    mutable std::optional<QPoint> askedAt;
};

// Remembers the last saved origin and loads it back.
struct MemoryOrigins final : Overlay::OriginStore
{
    std::optional<QPoint> load() const override { return stored; }
    void save(QPoint origin) override { stored = origin; }
    std::optional<QPoint> stored;
};

struct RecordingPanel final : Overlay::Panel
{
    static constexpr std::uint32_t ownId = 0x500001;
    QRect box() const override { return rect; }
    void setBox(const QRect &box) override { rect = box; }
    void showPanel(std::uint32_t window) override
    {
        shown = true;
        over = window;
    }
    void hidePanel() override { shown = false; }
    bool isPanelShown() const override { return shown; }
    bool isPanelWindow(std::uint32_t id) const override { return id == ownId; }
    void setMovedHandler(std::function<void()>) override {} // moves are the desktop suite's
    void setToggleHandler(std::function<void()> handler) override { toggled = std::move(handler); }
    QRect rect;
    bool shown = false;
    std::uint32_t over = 0;
    std::function<void()> toggled;
};

} // namespace StandIns

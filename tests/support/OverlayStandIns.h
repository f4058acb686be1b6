#pragma once

// Do-nothing stand-ins for the overlay controller's desktop seams, for tests and benchmarks that
// drive the controller without a display: one 1920×1080 screen, no saved origin or one kept in
// memory, a panel that only remembers its box, and an active window that is Claude Desktop until
// told otherwise.
#include "overlay/OriginStore.h"
#include "overlay/Panel.h"
#include "platform/ActiveWindowMonitor.h"
#include "platform/Screens.h"

#include <QRect>

namespace StandIns {

class ClaudeInFront final : public Platform::ActiveWindowMonitor
{
public:
    void start() override {}
    std::optional<Platform::ActiveWindow> activeWindow() const override
    {
        if (!m_claude)
            return Platform::ActiveWindow{.id = 2, .instanceName = QStringLiteral("xterm"),
                                          .className = QStringLiteral("XTerm"), .appId = {},
                                          .pid = std::nullopt, .frame = QRect(0, 0, 800, 600)};
        return Platform::ActiveWindow{.id = 1, .instanceName = QStringLiteral("claude"),
                                      .className = QStringLiteral("Claude"), .appId = {},
                                      .pid = std::nullopt,
                                      .frame = QRect(0, 0, 800, 600)};
    }
    void setClaudeInFront(bool claude)
    {
        m_claude = claude;
        Q_EMIT activeWindowChanged();
    }

private:
    bool m_claude = true;
};

struct OneScreen final : Platform::Screens
{
    std::optional<QRect> availableGeometry(std::optional<QPoint>) const override
    {
        return QRect(0, 0, 1920, 1080);
    }
};

struct NoOrigin final : Overlay::OriginStore
{
    std::optional<QPoint> load() const override { return std::nullopt; }
    void save(QPoint) override {}
};

// Remembers the last saved origin and loads it back.
struct MemoryOrigins final : Overlay::OriginStore
{
    std::optional<QPoint> load() const override { return stored; }
    void save(QPoint origin) override { stored = origin; }
    std::optional<QPoint> stored;
};

struct QuietPanel final : Overlay::Panel
{
    QRect box() const override { return m_box; }
    void setBox(const QRect &box) override { m_box = box; }
    void showPanel(std::uint32_t) override {}
    bool isPanelWindow(std::uint32_t) const override { return false; }
    void hidePanel() override {}
    bool isPanelShown() const override { return true; }
    void setMovedHandler(std::function<void()>) override {}
    void setToggleHandler(std::function<void()>) override {}
    QRect m_box;
};

} // namespace StandIns

#pragma once

#include "overlay/Panel.h"

#include <QMargins>
#include <QPoint>
#include <QWidget>

#include <memory>

namespace Overlay {

class OverlayState;

// The pill's window: frameless, above other windows, on every workspace, outside the taskbar
// and the pager, and never focused (a click on it leaves the application's window active). It
// is a normal window rather than a utility one, since some window managers hide the utility
// windows of an inactive application, and this application is never the active one while the
// pill shows.
//
// Where a window manager would tile the window and give it the focus (sway), it can instead
// stay out of the window manager's hands (override-redirect): it then sits where it asks,
// above every other window, is never focused, and moves itself while dragged.
//
// The window holds one content widget (the pill) with `margins` of room around the pill's own
// box (for its shadow, when translucent). Without translucency the window is clipped to the
// pill's rounded shape. A press that moves more than the drag distance moves the window (through
// the window manager where it offers that, else by hand); a press and release on the header
// without moving toggles.
class OverlayPanelWindow final : public QWidget, public Panel
{
    Q_OBJECT

public:
    // The X11 window role the pill's window carries, for window-manager rules and tests.
    static constexpr auto windowRole = "orvane-pill";

    enum class Stacking
    {
        // Kept above the others, on every workspace and unfocused by the window manager.
        Managed,
        // Out of the window manager's hands.
        OverrideRedirect
    };

    OverlayPanelWindow(QWidget *content, QMargins margins, bool translucent,
                       Stacking stacking = Stacking::Managed);
    ~OverlayPanelWindow() override;

    // The window holding the pill that shows `state`, translucent where the window system
    // offers that.
    static std::unique_ptr<OverlayPanelWindow> withPill(OverlayState &state,
                                                        Stacking stacking = Stacking::Managed);

    QRect box() const override { return m_box; }
    void setBox(const QRect &box) override;
    void showPanel(std::uint32_t over) override;
    void hidePanel() override;
    bool isPanelShown() const override { return isVisible(); }
    bool isPanelWindow(std::uint32_t id) const override
    {
        return internalWinId() != 0 && std::uint32_t(internalWinId()) == id;
    }
    void setMovedHandler(std::function<void()> handler) override { m_moved = std::move(handler); }
    void setToggleHandler(std::function<void()> handler) override { m_toggle = std::move(handler); }

    QWidget *content() const { return m_content; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void filterChildren(QObject *object);
    void updateMask();

    QWidget *m_content;
    QMargins m_margins;
    bool m_translucent;
    Stacking m_stacking;
    QRect m_box;
    bool m_placing = false;
    // The press being followed: where it began (global), the window's place then.
    bool m_pressed = false;
    bool m_dragging = false;
    bool m_systemMove = false;
    QPoint m_pressGlobal;
    QPoint m_pressLocal;
    QPoint m_pressWindowPos;
    std::function<void()> m_moved;
    std::function<void()> m_toggle;
};

} // namespace Overlay

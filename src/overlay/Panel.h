#pragma once

#include <QRect>

#include <cstdint>
#include <functional>

namespace Overlay {

// The floating window that holds the pill, as its controller sees it: a box on the screen
// (the pill's own rectangle, top-left origin, shadow margins left out) that is shown without
// taking focus, and two things the user does to it.
class Panel
{
public:
    virtual ~Panel() = default;

    virtual QRect box() const = 0;
    virtual void setBox(const QRect &box) = 0;

    // Shows the panel above other windows, on every workspace, without activating it; above
    // the application's window `over` (the window system's id) too when that is full-screen.
    virtual void showPanel(std::uint32_t over) = 0;
    virtual void hidePanel() = 0;
    virtual bool isPanelShown() const = 0;
    // Whether the window system's window `id` is the panel's own.
    virtual bool isPanelWindow(std::uint32_t id) const = 0;

    // Called after the user moved the box (a drag, or the window manager); not for setBox.
    virtual void setMovedHandler(std::function<void()> handler) = 0;
    // Called when the pill's header is clicked without a drag.
    virtual void setToggleHandler(std::function<void()> handler) = 0;
};

} // namespace Overlay

#pragma once

#include <QtGui/qwindowdefs.h>

#include <cstdint>

namespace Platform {

// What an X11 window manager is told about a window that floats above the others on every
// workspace, outside the taskbar and the pager. Window managers forget a window's
// _NET_WM_STATE and _NET_WM_DESKTOP when it is withdrawn (hidden), so both are written before
// every showing and asked for again once it is mapped. Does nothing off the xcb platform.
class X11FloatingWindow
{
public:
    // Before show(): writes the states and "every workspace" on the unmapped window (Qt keeps
    // states it does not manage when it adds its own at mapping) and withdraws Qt's offer to
    // take the focus.
    static void prepareToShow(WId window);

    // After every show(), which deletes WM_TRANSIENT_FOR from a window Qt does not take for a
    // dialog: makes it a transient of `over` (another client's window; none: 0), which keeps it
    // above that window when it goes full screen.
    static void setTransientFor(WId window, std::uint32_t over);

    // After show(): asks the window manager for the same, as a pager would.
    static void afterShow(WId window);
};

} // namespace Platform

#pragma once

#include <QRect>
#include <QString>

#include <cstdint>
#include <optional>

namespace Platform {

// What the window system says about the window that has the user's attention: the identity
// its application gave it and where it is on the screen (native pixels, root coordinates), as
// far as the window system tells.
struct ActiveWindow
{
    // Tells windows apart while they exist; numbered by the monitor where the desktop gives no
    // number of its own.
    std::uint32_t id = 0;
    // The X11 window (an XWayland one in a Wayland session), when the window system tells;
    // 0 for native Wayland windows.
    std::uint32_t x11Window = 0;
    // The two WM_CLASS fields: the instance name and the class name, as the application set them.
    // A Wayland window's app_id is its class name, as Wayland desktops report it.
    QString instanceName;
    QString className;
    // The application id a desktop knows the window's application by besides those (a
    // sandbox's or GTK's application id, a desktop file's name), where there is one.
    QString appId;
    // The process behind the window, when the window system tells.
    std::optional<std::int64_t> pid;
    QRect frame;

    bool operator==(const ActiveWindow &) const = default;
};

} // namespace Platform

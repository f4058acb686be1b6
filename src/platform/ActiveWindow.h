#pragma once

#include <QRect>
#include <QString>

#include <cstdint>
#include <optional>

namespace Platform {

// What the window system says about the window that has the user's attention: the identity
// its application gave it and where it is on the screen (native pixels, root coordinates).
struct ActiveWindow
{
    std::uint32_t id = 0;
    // The two WM_CLASS fields: the instance name and the class name, as the application set them.
    QString instanceName;
    QString className;
    // _NET_WM_PID, when the application set it.
    std::optional<std::int64_t> pid;
    QRect frame;

    bool operator==(const ActiveWindow &) const = default;
};

} // namespace Platform

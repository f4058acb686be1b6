#pragma once

#include <QPoint>
#include <QRect>

#include <optional>

namespace Platform {

// The screens' usable areas (without panels and docks), in the coordinates windows are
// placed in.
class Screens
{
public:
    virtual ~Screens() = default;

    // The usable area of the screen holding `nativePoint` (a point in the window system's own
    // pixels, as the active-window monitor reports them), else of the primary screen; none
    // without any screen.
    virtual std::optional<QRect> availableGeometry(std::optional<QPoint> nativePoint) const = 0;
};

} // namespace Platform

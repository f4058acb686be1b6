#include "platform/ui/QtScreens.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace Platform {

std::optional<QRect> QtScreens::availableGeometry(std::optional<QPoint> nativePoint) const
{
    if (!qGuiApp)
        return std::nullopt;
    QScreen *screen = nullptr;
    if (nativePoint) {
        // Qt scales every screen of an X display by the same factor.
        const QScreen *primary = QGuiApplication::primaryScreen();
        const qreal ratio = primary ? primary->devicePixelRatio() : 1.0;
        const QPoint point(int(std::floor(nativePoint->x() / ratio)),
                           int(std::floor(nativePoint->y() / ratio)));
        screen = QGuiApplication::screenAt(point);
    }
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::nullopt;
    return screen->availableGeometry();
}

} // namespace Platform

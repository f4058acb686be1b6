#include "setup/DesktopLaunchMode.h"

QString rawValue(DesktopLaunchMode mode)
{
    switch (mode) {
    case DesktopLaunchMode::gateway:
        return QStringLiteral("gateway");
    case DesktopLaunchMode::native:
        return QStringLiteral("native");
    }
    return {};
}

std::optional<DesktopLaunchMode> desktopLaunchModeFromString(QStringView raw)
{
    if (raw == u"gateway")
        return DesktopLaunchMode::gateway;
    if (raw == u"native")
        return DesktopLaunchMode::native;
    return std::nullopt;
}

#include "setup/DesktopLaunchMode.h"

namespace Setup {

QString rawValue(DesktopLaunchMode mode)
{
    switch (mode) {
    case DesktopLaunchMode::Gateway:
        return QStringLiteral("gateway");
    case DesktopLaunchMode::Native:
        return QStringLiteral("native");
    }
    return {};
}

std::optional<DesktopLaunchMode> desktopLaunchModeFromString(QStringView raw)
{
    if (raw == u"gateway")
        return DesktopLaunchMode::Gateway;
    if (raw == u"native")
        return DesktopLaunchMode::Native;
    return std::nullopt;
}

} // namespace Setup

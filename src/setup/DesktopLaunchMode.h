#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace Setup {

// How the router's tool starts a desktop application: routed through the gateway, or as it
// would start without the router.
enum class DesktopLaunchMode
{
    Gateway,
    Native
};

// "gateway" or "native", as passed on the tool's command line.
QString rawValue(DesktopLaunchMode mode);

// The mode whose raw value is exactly `raw` (case-sensitive); no value for anything else.
std::optional<DesktopLaunchMode> desktopLaunchModeFromString(QStringView raw);

} // namespace Setup

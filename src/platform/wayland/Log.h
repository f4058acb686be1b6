#pragma once

#include <QLoggingCategory>

namespace Platform {

// "orvane.wayland": warnings for failures the program absorbs, debug for state changes; debug
// is off unless QT_LOGGING_RULES turns it on.
Q_DECLARE_LOGGING_CATEGORY(lcWayland)

} // namespace Platform

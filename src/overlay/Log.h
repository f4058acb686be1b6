#pragma once

#include <QLoggingCategory>

namespace Overlay {

// "orvane.overlay": warnings for failures the program absorbs, debug for state changes; debug is
// off unless QT_LOGGING_RULES turns it on.
Q_DECLARE_LOGGING_CATEGORY(lcOverlay)

} // namespace Overlay

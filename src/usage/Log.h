#pragma once

#include <QLoggingCategory>

namespace Usage {

// "orvane.usage": warnings for failures the program absorbs, debug for state changes; debug is
// off unless QT_LOGGING_RULES turns it on.
Q_DECLARE_LOGGING_CATEGORY(lcUsage)

} // namespace Usage

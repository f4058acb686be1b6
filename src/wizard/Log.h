#pragma once

#include <QLoggingCategory>

namespace Wizard {

// "orvane.wizard": warnings for failures the program absorbs, debug for state changes; debug is
// off unless QT_LOGGING_RULES turns it on.
Q_DECLARE_LOGGING_CATEGORY(lcWizard)

} // namespace Wizard

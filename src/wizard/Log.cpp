#include "wizard/Log.h"

namespace Wizard {

Q_LOGGING_CATEGORY(lcWizard, "orvane.wizard", QtInfoMsg)

} // namespace Wizard

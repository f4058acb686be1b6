#include "setup/Log.h"

namespace Setup {

Q_LOGGING_CATEGORY(lcSetup, "orvane.setup", QtInfoMsg)

} // namespace Setup

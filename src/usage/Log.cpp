#include "usage/Log.h"

namespace Usage {

Q_LOGGING_CATEGORY(lcUsage, "orvane.usage", QtInfoMsg)

} // namespace Usage

#include "platform/Log.h"

namespace Platform {

Q_LOGGING_CATEGORY(lcPlatform, "orvane.platform", QtInfoMsg)

} // namespace Platform

#include "platform/wayland/Log.h"

namespace Platform {

Q_LOGGING_CATEGORY(lcWayland, "orvane.wayland", QtInfoMsg)

} // namespace Platform

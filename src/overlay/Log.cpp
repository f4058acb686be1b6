#include "overlay/Log.h"

namespace Overlay {

Q_LOGGING_CATEGORY(lcOverlay, "orvane.overlay", QtInfoMsg)

} // namespace Overlay

#include "design/Log.h"

namespace Design {

Q_LOGGING_CATEGORY(lcDesign, "orvane.design", QtInfoMsg)

} // namespace Design

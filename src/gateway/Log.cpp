#include "gateway/Log.h"

namespace Gateway {

Q_LOGGING_CATEGORY(lcGateway, "orvane.gateway", QtInfoMsg)

} // namespace Gateway

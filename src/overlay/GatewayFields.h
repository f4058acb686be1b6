#pragma once

#include "gateway/GatewayStatus.h"
#include "overlay/OverlaySnapshot.h"

namespace Overlay {

// Writes what the pill shows of a status request's outcome: the gateway's model, detail, cache
// expiry, savings and counters after an answer; "Gateway not configured" or "Gateway unavailable"
// (keeping the rest of the last answer) after a failure; nothing when no URL could be formed.
void showGatewayResult(OverlaySnapshot &fields, const Gateway::StatusResult &result);

} // namespace Overlay

#include "overlay/GatewayFields.h"

namespace Overlay {

void showGatewayResult(OverlaySnapshot &fields, const Gateway::StatusResult &result)
{
    if (!result) {
        if (result.error() == Gateway::StatusFailure::NoUrl)
            return;
        fields.connected = false;
        fields.detail = result.error() == Gateway::StatusFailure::NotConfigured
                            ? QStringLiteral("Gateway not configured")
                            : QStringLiteral("Gateway unavailable");
        return;
    }
    const Gateway::GatewayStatus &status = *result;
    fields.connected = true;
    fields.model = status.modelDisplayName.value_or(status.model.value_or(QStringLiteral("Orvane")));
    fields.detail = status.authMode ? QStringLiteral("orv (") + *status.authMode + QLatin1Char(')')
                                    : status.label.value_or(QStringLiteral("Connected"));
    fields.cacheExpiresAt = status.cacheExpiresAt;
    fields.savingsPct = status.savingsPct;
    fields.asksOpen = status.asksOpen.value_or(0);
    fields.answersFresh = status.answersFresh.value_or(0);
}

} // namespace Overlay

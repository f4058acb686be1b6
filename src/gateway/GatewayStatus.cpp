#include "gateway/GatewayStatus.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <cmath>

namespace Gateway {

namespace {

// The gateway's words are shown as they come: control characters and bidirectional overrides,
// which could reverse or hide what the pill says, are dropped.
QString displayable(QString text)
{
    text.removeIf([](QChar c) {
        const char16_t u = c.unicode();
        return c.category() == QChar::Other_Control || u == 0x061C || u == 0x200E || u == 0x200F ||
               (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
    });
    return text;
}

// Each reader leaves the field absent for a missing key or null and answers false for a value of
// another type.
bool readString(const QJsonObject &object, const char *key, std::optional<QString> &field)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isString())
        return false;
    field = displayable(value.toString());
    return true;
}

bool readDouble(const QJsonObject &object, const char *key, std::optional<double> &field)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isDouble())
        return false;
    field = value.toDouble();
    return true;
}

bool readInteger(const QJsonObject &object, const char *key, std::optional<std::int64_t> &field)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isDouble())
        return false;
    // Integers are kept exactly by the parser; other numbers arrive as doubles and count only
    // when they are whole and within range.
    const qint64 low = value.toInteger(std::numeric_limits<qint64>::min());
    const qint64 high = value.toInteger(std::numeric_limits<qint64>::max());
    if (low == high) {
        field = low;
        return true;
    }
    const double number = value.toDouble();
    if (number != std::floor(number) || number < -9223372036854775808.0 ||
        number >= 9223372036854775808.0)
        return false;
    field = static_cast<std::int64_t>(number);
    return true;
}

} // namespace

std::expected<GatewayStatus, GatewayStatusError> decodeGatewayStatus(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        return std::unexpected(GatewayStatusError::NotJson);
    if (!document.isObject())
        return std::unexpected(GatewayStatusError::NotObject);
    const QJsonObject object = document.object();
    GatewayStatus status;
    const bool typed = readString(object, "model_display_name", status.modelDisplayName) &&
                       readString(object, "model", status.model) &&
                       readString(object, "label", status.label) &&
                       readString(object, "auth_mode", status.authMode) &&
                       readDouble(object, "cache_expires_at", status.cacheExpiresAt) &&
                       readDouble(object, "savings_pct", status.savingsPct) &&
                       readInteger(object, "asks_open", status.asksOpen) &&
                       readInteger(object, "answers_fresh", status.answersFresh);
    if (!typed)
        return std::unexpected(GatewayStatusError::WrongType);
    return status;
}

} // namespace Gateway

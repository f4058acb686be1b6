#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <expected>
#include <optional>

namespace Gateway {

// The gateway's status line for one harness. A missing key and a JSON null both leave a field
// absent.
struct GatewayStatus
{
    std::optional<QString> modelDisplayName;
    std::optional<QString> model;
    std::optional<QString> label;
    std::optional<QString> authMode;
    std::optional<double> cacheExpiresAt; // seconds since 1970-01-01T00:00:00Z; 0 or less: none
    std::optional<double> savingsPct;
    std::optional<std::int64_t> asksOpen;
    std::optional<std::int64_t> answersFresh;

    friend bool operator==(const GatewayStatus &, const GatewayStatus &) = default;
};

enum class GatewayStatusError
{
    NotJson,
    NotObject,
    WrongType // a known key holds a value of another JSON type
};

// Why a status request gave no status.
enum class StatusFailure
{
    NotConfigured, // no usable configuration: nothing was sent
    NoUrl,         // the base URL cannot be made into a URL: nothing was sent
    Unavailable    // not an HTTP gateway, no usable answer in time
};

// What one status request came to.
using StatusResult = std::expected<GatewayStatus, StatusFailure>;

// Strict decoding: any known key with a value of the wrong type refuses the whole body. Counters
// must be whole numbers that fit 64 bits; unknown keys are ignored.
std::expected<GatewayStatus, GatewayStatusError> decodeGatewayStatus(const QByteArray &body);

} // namespace Gateway

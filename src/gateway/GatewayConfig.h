#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace Overlay {

// The gateway's base URL and the user's key, from the router's configuration file.
struct GatewayConfig
{
    QString baseUrl;
    QString apiKey;

    friend bool operator==(const GatewayConfig &, const GatewayConfig &) = default;
};

// The configuration file below a home directory.
QString gatewayConfigPath(const QString &homeDirectory);

// Reads "gateway_base_url" and "api_key" from the configuration file: none when the file is
// missing, unreadable, not a regular file, over a few MiB, not a JSON object, or either value is
// missing, not a string or empty. Other keys are ignored; nothing is trimmed. Never blocks on a
// named pipe or device standing in for the file.
std::optional<GatewayConfig> readGatewayConfig(const QString &homeDirectory);

// The status endpoint of a base URL: leading and trailing "/" removed, "/v1/orv/statusline"
// appended, then "harness" and "surface" as query items, percent-encoded. None when no URL can be
// formed; a URL that can be formed but not fetched (no scheme, no host) is the sender's concern.
std::optional<QUrl> statusLineUrl(const QString &baseUrl, const QString &harness,
                                  const QString &surface);

} // namespace Overlay

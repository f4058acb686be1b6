#pragma once

#include <QString>
#include <QUrl>

#include <expected>
#include <optional>

namespace Gateway {

// The gateway's base URL and the user's key, from the router's configuration file.
struct GatewayConfig
{
    QString baseUrl;
    QString apiKey;

    friend bool operator==(const GatewayConfig &, const GatewayConfig &) = default;
};

// The configuration file below a home directory.
QString gatewayConfigPath(const QString &homeDirectory);

// Why there is no configuration to use.
enum class ConfigProblem
{
    Missing,    // no file there: the router was not set up
    Unreadable, // not a regular file, over a few MiB, or not readable
    NotAnObject,
    Incomplete // either value missing, not a string or empty
};

// Reads "gateway_base_url" and "api_key" from the configuration file. Other keys are ignored;
// nothing is trimmed. Never blocks on a named pipe or device standing in for the file.
std::expected<GatewayConfig, ConfigProblem> readGatewayConfig(const QString &homeDirectory);

// The status endpoint of a base URL: leading and trailing "/" removed, "/v1/orv/statusline"
// appended, then "harness" and "surface" as query items, percent-encoded. None when no URL can be
// formed; a URL that can be formed but not fetched (no scheme, no host) is the sender's concern.
std::optional<QUrl> statusLineUrl(const QString &baseUrl, const QString &harness,
                                  const QString &surface);

} // namespace Gateway

#pragma once

#include "platform/Timers.h"
#include "setup/SetupError.h"
#include "setup/VersionInfo.h"

#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

namespace Setup {

// The version in ~/.local/share/orvane/runtime/package.json, when that file is a JSON object
// of strings that has "version".
std::optional<QString> installedRouterVersion();

// The registry the user's npm uses: `npm config get registry` in the login shell, so that
// npm_config_registry and ~/.npmrc count. Nothing when npm is missing, fails or prints no
// http(s) URL. Completes from the event loop of the calling thread.
using RegistryFound = std::function<void(std::optional<QUrl>)>;
void discoverRegistry(RegistryFound done);

// The registry's latest-version document of the router: `registry` joined with
// the router's package name and "/latest".
QUrl latestVersionUrl(const QUrl &registry);

// GETs the latest-version document (4 s time-out) and gives its "version", or nothing.
void fetchLatestRouterVersion(const QUrl &registry,
                              std::function<void(std::optional<QString>)> done);

// Installed and latest router versions; never fails, whatever is unknown is absent. The whole
// lookup, the registry's discovery through the login shell included, gives up after
// versionInfoLimit with the latest version absent, so the start-up check never waits long.
inline constexpr std::chrono::milliseconds versionInfoLimit{5000};
using RegistryDiscovery = std::function<void(RegistryFound)>;
void versionInfo(Completion<VersionInfo> done);
void versionInfo(const RegistryDiscovery &discover, Completion<VersionInfo> done,
                 Platform::Timers &timers = Platform::QtTimers::instance());

} // namespace Setup

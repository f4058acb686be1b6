#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace Manifest {

// One tool the router can configure. Identified by id.
struct ManifestHarness
{
    QString id;
    QString name;
    QStringList configPaths; // a leading "~" stands for the user's home directory
    std::optional<QString> orvCommand;
    std::optional<QString> fundingGroup; // key into InstallManifest::fundingGroups

    // True when one of configPaths names an existing file or directory, tried in order.
    bool isDetected() const;
    // The same, with "~" expanded against HOME instead of the user's home directory.
    bool isDetected(const QString &home) const;

    friend bool operator==(const ManifestHarness &, const ManifestHarness &) = default;
};

} // namespace Manifest

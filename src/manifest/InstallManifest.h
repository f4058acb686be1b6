#pragma once

#include "manifest/AdvancedSection.h"
#include "manifest/FundingGroup.h"
#include "manifest/ManifestHarness.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace Manifest {

// The decoded install-manifest.json: the tools, funding groups and fields the setup wizard
// shows. It is read only.
struct InstallManifest
{
    int schemaVersion = 0;
    QStringList defaultHarnessIds;
    QList<ManifestHarness> harnesses;          // in display order
    QMap<QString, FundingGroup> fundingGroups; // by group key; the map's order means nothing
    AdvancedSection advanced;

    friend bool operator==(const InstallManifest &, const InstallManifest &) = default;
};

} // namespace Manifest

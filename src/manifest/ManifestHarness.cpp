#include "manifest/ManifestHarness.h"

#include "platform/HomeDirectory.h"

#include <QFileInfo>

#include <algorithm>

namespace Manifest {

bool ManifestHarness::isDetected() const
{
    return isDetected(Platform::homeDirectory());
}

bool ManifestHarness::isDetected(const QString &home) const
{
    return std::ranges::any_of(configPaths, [&home](const QString &path) {
        return QFileInfo::exists(Platform::expandTilde(path, home));
    });
}

} // namespace Manifest

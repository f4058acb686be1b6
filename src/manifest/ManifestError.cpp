#include "manifest/ManifestError.h"

namespace Manifest {

namespace {
// Where a newer installer can be downloaded.
constexpr QLatin1String webSite("https://orvane.dev");
} // namespace

QString ManifestError::description() const
{
    switch (kind) {
    case Kind::UnsupportedSchema:
        return QStringLiteral("This installer is too old to read Orvane's setup manifest ") +
               QStringLiteral("(version ") + QString::number(schemaVersion) +
               QStringLiteral("). Download the latest installer from ") + webSite +
               QLatin1Char('.');
    }
    return {};
}

} // namespace Manifest

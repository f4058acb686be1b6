#include "manifest/ManifestLoader.h"

#include "manifest/ManifestDecoder.h"
#include "platform/RegularFile.h"
#include "platform/Resources.h"

#include <QFileInfo>

namespace Manifest {

namespace ManifestLoader {

namespace {

// The manifest ships with the program and is a few KiB; anything this large is not it.
constexpr qint64 maximumManifestSize = 4 * 1024 * 1024;

std::expected<InstallManifest, ManifestLoadError> readBundled(const QString &resources)
{
    using Kind = ManifestLoadError::Kind;
    const QString path = resources + QStringLiteral("/install-manifest.json");
    if (!QFileInfo(path).isFile())
        return std::unexpected(ManifestLoadError{Kind::Missing, path});
    const auto json = Platform::readRegularFile(path, maximumManifestSize);
    if (!json)
        return std::unexpected(ManifestLoadError{Kind::Unreadable, path});
    auto manifest = decode(*json);
    if (!manifest)
        return std::unexpected(ManifestLoadError{Kind::Invalid, path});
    return std::move(*manifest);
}

} // namespace

QString packageName()
{
    return QStringLiteral("orvane");
}

QString packageSpec()
{
    return packageName() + QStringLiteral("@latest");
}

std::expected<InstallManifest, DecodeFailure> decode(const QByteArray &json)
{
    auto manifest = ManifestDecoder::decode(json);
    if (!manifest)
        return std::unexpected(DecodeFailure(manifest.error()));
    if (manifest->schemaVersion != supportedSchemaVersion)
        return std::unexpected(
            DecodeFailure(ManifestError::unsupportedSchema(manifest->schemaVersion)));
    return std::move(*manifest);
}

std::expected<Resolved, ManifestLoadError> load(const QString &resources)
{
    auto manifest = readBundled(resources);
    if (!manifest)
        return std::unexpected(manifest.error());
    return Resolved{packageSpec(), std::move(*manifest)};
}

std::expected<InstallManifest, ManifestLoadError> bundled(const QString &resources)
{
    return readBundled(resources);
}

} // namespace ManifestLoader

} // namespace Manifest

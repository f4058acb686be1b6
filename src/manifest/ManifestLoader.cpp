#include "manifest/ManifestLoader.h"

#include "manifest/ManifestDecoder.h"
#include "platform/Resources.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>

namespace Manifest {

namespace ManifestLoader {

namespace {

// The cause is deliberately not reported: whatever went wrong, the installation is damaged
// and the remedy is the same.
[[noreturn]] void endWithDamagedBundle()
{
    std::fputs("Orvane.app is missing its bundled install-manifest.json\n", stderr);
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
}

InstallManifest readBundledOrEnd()
{
    const QString path =
        Platform::Resources::path(QStringLiteral("install-manifest"), QStringLiteral("json"));
    if (path.isEmpty())
        endWithDamagedBundle();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        endWithDamagedBundle();
    const QByteArray json = file.readAll();
    if (file.error() != QFileDevice::NoError)
        endWithDamagedBundle();
    auto manifest = decode(json);
    if (!manifest)
        endWithDamagedBundle();
    return std::move(*manifest);
}

} // namespace

QString packageSpec()
{
    return QStringLiteral("orvane@latest");
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

Resolved load()
{
    return Resolved{packageSpec(), readBundledOrEnd()};
}

InstallManifest bundled()
{
    return readBundledOrEnd();
}

} // namespace ManifestLoader

} // namespace Manifest

#include "manifest/ManifestLoader.h"

#include "manifest/Log.h"
#include "manifest/ManifestDecoder.h"
#include "platform/RegularFile.h"
#include "platform/Resources.h"

#include <QFileInfo>

namespace Manifest {

namespace ManifestLoader {

namespace {

// The manifest ships with the program and is a few KiB; anything this large is not it.
constexpr qint64 maximumManifestSize = 4 * 1024 * 1024;

QString decodeFailureText(const DecodeFailure &failure)
{
    if (const auto *unsupported = std::get_if<ManifestError>(&failure))
        return QStringLiteral("schema_version ") + QString::number(unsupported->schemaVersion) +
               QStringLiteral(" is not ") + QString::number(supportedSchemaVersion);
    const auto &error = std::get<ManifestDecodeError>(failure);
    const QString at = error.path.isEmpty() ? QStringLiteral("the document") : error.path;
    switch (error.kind) {
    case ManifestDecodeError::Kind::InvalidJson:
        return QStringLiteral("not JSON: ") + error.detail;
    case ManifestDecodeError::Kind::MissingKey:
        return QStringLiteral("missing key ") + at;
    case ManifestDecodeError::Kind::NullValue:
        return QStringLiteral("null at ") + at;
    case ManifestDecodeError::Kind::WrongType:
        return at + QStringLiteral(" is not of type ") + error.detail;
    }
    return {};
}

// The kind and path go to the log: the caller only tells the user the installation is damaged.
std::unexpected<ManifestLoadError> failed(ManifestLoadError::Kind kind, const QString &path,
                                          const QString &why)
{
    ManifestLoadError error{kind, path, why};
    qCWarning(lcManifest, "%s", qUtf8Printable(error.description()));
    return std::unexpected(std::move(error));
}

std::expected<InstallManifest, ManifestLoadError> readBundled(const QString &resources)
{
    using Kind = ManifestLoadError::Kind;
    const QString path = resources + QStringLiteral("/install-manifest.json");
    if (!QFileInfo(path).isFile())
        return failed(Kind::Missing, path, QStringLiteral("missing"));
    const auto json = Platform::readRegularFile(path, maximumManifestSize);
    if (!json)
        return failed(Kind::Unreadable, path, QStringLiteral("unreadable"));
    auto manifest = decode(*json);
    if (!manifest)
        return failed(Kind::Invalid, path,
                      QStringLiteral("invalid: ") + decodeFailureText(manifest.error()));
    qCDebug(lcManifest, "Manifest %s loaded", qUtf8Printable(path));
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

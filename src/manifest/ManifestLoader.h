#pragma once

#include "manifest/InstallManifest.h"
#include "manifest/ManifestDecodeError.h"
#include "manifest/ManifestError.h"
#include "manifest/ManifestLoadError.h"
#include "manifest/Resolved.h"
#include "platform/Resources.h"

#include <QByteArray>
#include <QString>

#include <expected>
#include <variant>

namespace Manifest {

// Reads install-manifest.json from the program's own resources. The manifest is part of the
// program, so a missing or unreadable one means a damaged installation; what to do about it
// (the application ends before any window appears) is the caller's decision, never this
// library's.
namespace ManifestLoader {

// The only "schema_version" this program reads.
inline constexpr int supportedSchemaVersion = 1;

// The router's npm package, and the package install and update run: always its latest
// release. The one place either is spelled.
QString packageName();
QString packageSpec();

using DecodeFailure = std::variant<ManifestDecodeError, ManifestError>;

// Decodes a manifest and checks its format version; never ends the process.
std::expected<InstallManifest, DecodeFailure> decode(const QByteArray &json);

// The bundled manifest with packageSpec(): install-manifest.json in `resources`, the
// program's resource folder unless given. Reads the file again on each call.
std::expected<Resolved, ManifestLoadError> load(const QString &resources = Platform::Resources::directory());

// The bundled manifest alone.
std::expected<InstallManifest, ManifestLoadError>
bundled(const QString &resources = Platform::Resources::directory());

} // namespace ManifestLoader

} // namespace Manifest

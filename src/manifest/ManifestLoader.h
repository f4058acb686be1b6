#pragma once

#include "manifest/InstallManifest.h"
#include "manifest/ManifestDecodeError.h"
#include "manifest/ManifestError.h"
#include "manifest/Resolved.h"

#include <QByteArray>
#include <QString>

#include <expected>
#include <variant>

namespace Manifest {

// Reads install-manifest.json from the program's own resources. The manifest is part of the
// program, so a missing or unreadable one means a damaged installation: load() and bundled()
// then end the process at once with a fixed message on standard error.
namespace ManifestLoader {

// The only "schema_version" this program reads.
inline constexpr int supportedSchemaVersion = 1;

// The package install and update run: always the router's latest release.
QString packageSpec();

using DecodeFailure = std::variant<ManifestDecodeError, ManifestError>;

// Decodes a manifest and checks its format version; never ends the process.
std::expected<InstallManifest, DecodeFailure> decode(const QByteArray &json);

// The bundled manifest with packageSpec(). Does not return when the manifest cannot be read.
Resolved load();

// The bundled manifest alone. Does not return when the manifest cannot be read.
InstallManifest bundled();

} // namespace ManifestLoader

} // namespace Manifest

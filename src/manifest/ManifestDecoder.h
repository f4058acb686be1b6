#pragma once

#include "manifest/InstallManifest.h"
#include "manifest/ManifestDecodeError.h"

#include <QByteArray>

#include <expected>

namespace Manifest {

// Strict JSON decoding of install-manifest.json: every required key present and not null,
// every value of its JSON type, or the whole document is refused. Keys it does not know are
// ignored; an optional key that is null counts as absent. The format version is not checked
// here.
namespace ManifestDecoder {

std::expected<InstallManifest, ManifestDecodeError> decode(const QByteArray &json);

} // namespace ManifestDecoder

} // namespace Manifest

#pragma once

#include "manifest/InstallManifest.h"

#include <QString>

namespace Manifest {

// The bundled manifest together with the npm package that install and update run.
struct Resolved
{
    QString packageSpec;
    InstallManifest manifest;

    friend bool operator==(const Resolved &, const Resolved &) = default;
};

} // namespace Manifest

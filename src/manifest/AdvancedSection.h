#pragma once

#include "manifest/ManifestField.h"

#include <QList>
#include <QString>

namespace Manifest {

// A titled list of extra fields. It must be present in the manifest, but no screen asks its
// fields.
struct AdvancedSection
{
    QString title;
    QString description;
    QList<ManifestField> fields;

    friend bool operator==(const AdvancedSection &, const AdvancedSection &) = default;
};

} // namespace Manifest

#pragma once

#include <QString>

namespace Manifest {

// The manifest is readable JSON but in a format version this program does not read.
struct ManifestError
{
    enum class Kind
    {
        UnsupportedSchema
    };

    Kind kind = Kind::UnsupportedSchema;
    int schemaVersion = 0; // the document's "schema_version"

    static ManifestError unsupportedSchema(int version)
    {
        return {Kind::UnsupportedSchema, version};
    }

    // The error as one sentence for the user.
    QString description() const;

    friend bool operator==(const ManifestError &, const ManifestError &) = default;
};

} // namespace Manifest

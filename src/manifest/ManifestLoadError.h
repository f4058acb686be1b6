#pragma once

#include <QString>

namespace Manifest {

// Why the bundled manifest could not be loaded. The program treats every kind alike (the
// installation is damaged); the kind and path are kept for tests and for whoever debugs a
// broken package.
struct ManifestLoadError
{
    enum class Kind
    {
        Missing,    // no install-manifest.json among the resources
        Unreadable, // the file could not be opened or read
        Invalid     // not a manifest this program reads (bad JSON, wrong types, other version)
    };

    Kind kind = Kind::Missing;
    QString path;
    QString reason; // what is wrong with it, in a few words ("invalid: missing key harnesses")

    // The line the loader logs, for whoever reports the damage.
    QString description() const
    {
        return QStringLiteral("Manifest ") + path + QStringLiteral(" is ") + reason;
    }

    friend bool operator==(const ManifestLoadError &, const ManifestLoadError &) = default;
};

} // namespace Manifest

#pragma once

#include <QHashFunctions>
#include <QString>

#include <cstddef>
#include <functional>
#include <optional>

namespace Manifest {

// One text value the user types for a funding option (or the advanced section). Identified by
// configKey, the name under which the value is handed to the installer.
struct ManifestField
{
    QString configKey;
    QString label; // also the first words of every validation message
    bool secret = false;
    std::optional<QString> placeholder;
    std::optional<QString> prefix;
    std::optional<bool> requiresHttps; // absent counts as false

    // The message to show beside the field when VALUE breaks one of its rules, or nothing when
    // the value is acceptable. An empty (or blank) value is acceptable here: whether a value is
    // needed at all is the caller's decision.
    std::optional<QString> validate(const QString &value) const;

    friend bool operator==(const ManifestField &, const ManifestField &) = default;
};

size_t qHash(const ManifestField &field, size_t seed = 0) noexcept;

} // namespace Manifest

template <> struct std::hash<Manifest::ManifestField>
{
    std::size_t operator()(const Manifest::ManifestField &field) const noexcept { return Manifest::qHash(field); }
};

#pragma once

#include <QString>

#include <optional>

namespace Setup {

enum class VersionOrder
{
    Ascending,
    Same,
    Descending
};

// Compares dot-separated versions number by number; a missing number counts as 0 and a piece
// that is not a (signed, 64-bit) number is left out, so "1.2.3-beta.1" reads as 1, 2, 1.
VersionOrder compareVersions(const QString &a, const QString &b);

// The router's installed version and the registry's latest one, each absent when unknown.
struct VersionInfo
{
    std::optional<QString> installed;
    std::optional<QString> latest;

    bool updateAvailable() const
    {
        return installed && latest &&
               compareVersions(*installed, *latest) == VersionOrder::Ascending;
    }

    friend bool operator==(const VersionInfo &, const VersionInfo &) = default;
};

} // namespace Setup

#pragma once

#include <QString>

namespace Manifest {

// Why the manifest's JSON could not be decoded. The path names the value that failed in the
// document's own keys, e.g. "funding_groups.claude.options[1].fields[0].secret"; an empty path
// is the document itself.
struct ManifestDecodeError
{
    enum class Kind
    {
        InvalidJson, // not well-formed JSON; detail holds the parser's message and offset
        MissingKey,  // a required key is absent
        NullValue,   // a required key (or an array element) is null
        WrongType,   // a value of another JSON type; detail names the type wanted
    };

    Kind kind = Kind::InvalidJson;
    QString path;
    QString detail;

    friend bool operator==(const ManifestDecodeError &, const ManifestDecodeError &) = default;
};

} // namespace Manifest

#pragma once

#include <QByteArray>

#include <cstdint>

namespace Usage {

// One transcript file as a scan saw it.
struct FileState
{
    QByteArray path; // bytes as on disk
    std::int64_t size = 0; // 0 when the size cannot be read

    friend bool operator==(const FileState &, const FileState &) = default;
};

} // namespace Usage

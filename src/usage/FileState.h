#pragma once

#include <QString>

#include <cstdint>

namespace Usage {

// One transcript file as a scan saw it.
struct FileState
{
    QString path;
    std::int64_t size = 0; // 0 when the size cannot be read
};

} // namespace Usage

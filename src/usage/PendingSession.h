#pragma once

#include <QByteArray>

#include <chrono>
#include <cstdint>

namespace Usage {

// A new conversation file that the tracker waits on until it grows or the wait runs out.
struct PendingSession
{
    QByteArray path; // bytes as on disk
    std::int64_t initialSize = 0;
    std::chrono::system_clock::time_point expiresAt;
};

} // namespace Usage

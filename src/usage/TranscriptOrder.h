#pragma once

#include <cstdint>
#include <string_view>

namespace Usage {

// The order that picks the newest transcript, the same for every transcript source: the later
// modification time first, and of equal times the smaller path.
struct ModificationTime
{
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;

    friend auto operator<=>(const ModificationTime &, const ModificationTime &) = default;
};

inline bool isNewer(ModificationTime time, std::string_view path, ModificationTime bestTime,
                    std::string_view bestPath)
{
    return time > bestTime || (time == bestTime && path < bestPath);
}

} // namespace Usage

#pragma once

#include "usage/TokenUsage.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace Usage {

// Reading state of one transcript file.
struct FileProgress
{
    // Hashes std::string and std::string_view alike, so ids can be looked up without a copy.
    struct IdHash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view id) const noexcept
        {
            return std::hash<std::string_view>{}(id);
        }
    };
    using IdSet = std::unordered_set<std::string, IdHash, std::equal_to<>>;

    // Bytes consumed so far: always just after a newline, or 0.
    std::uint64_t offset = 0;
    // The last bytes consumed (up to the offset), to notice a file rewritten in place.
    std::string consumedTail;
    // When beyond the offset: the line at the offset is too long to count and holds no newline
    // before this position, from where the search for its end goes on.
    std::uint64_t skipTo = 0;
    // Device and inode of the file read last, to notice a file replaced under the same name.
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    TokenUsage usage;
    // Message ids already counted (one dialect only uses them).
    IdSet countedMessageIDs;
};

} // namespace Usage

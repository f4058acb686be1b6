#pragma once

#include "usage/QuotaWindows.h"
#include "usage/TokenUsage.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace Usage {

// The four counters one line of a message counted.
struct MessageCounters
{
    std::int64_t cacheRead = 0;
    std::int64_t cacheWrite = 0;
    std::int64_t freshInput = 0;
    std::int64_t output = 0;

    friend bool operator==(const MessageCounters &, const MessageCounters &) = default;
};

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
    using IdMap = std::unordered_map<std::string, MessageCounters, IdHash, std::equal_to<>>;
    // Sums without a limit, so that a message's earlier line can be taken back exactly; the
    // usage shows them clamped to 64 bits.
    __extension__ using Wide = __int128;
    struct Sums
    {
        Wide cacheRead = 0, cacheWrite = 0, freshInput = 0, output = 0;
    };

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
    // What each message id counted, from its latest line (one dialect only uses them): a
    // message's first lines are written while it streams, and only its last has the final
    // output count.
    IdMap countedMessages;
    Sums sums;
    // The quota windows of the newest line that gave valid ones (one dialect only has them).
    QuotaWindows quota;
};

} // namespace Usage

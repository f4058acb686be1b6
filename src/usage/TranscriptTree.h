#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace Usage {

// One transcript file met while walking a tree.
struct TranscriptFile
{
    std::string_view path; // valid only during the callback
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::uint32_t modifiedNanoseconds = 0;
};

// Calls VISIT for every regular file below ROOT whose name ends in ".jsonl" (case-sensitive,
// with something before it), depth first in directory-listing order, hidden entries included.
// The root itself may be a symbolic link; nothing below it is followed. Entries that cannot be
// read are skipped. Returns false when ROOT cannot be opened as a directory.
//
// The directory entry's type decides whether a name is looked at further, so the walk costs
// one listing per directory and one status call per transcript file.
bool walkTranscripts(std::string_view root,
                     const std::function<void(const TranscriptFile &)> &visit);

} // namespace Usage

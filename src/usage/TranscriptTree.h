#pragma once

#include <cstdint>
#include <functional>
#include <string>
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

// Whether a file name is a transcript's: ".jsonl" (case-sensitive) with something before it.
bool isTranscriptName(std::string_view name);

// Called with each folder's path before it is listed (the root first, with isRoot true);
// returning false leaves that folder and everything below it out.
using FolderVisitor = std::function<bool(const std::string &path, bool isRoot)>;

// Calls VISIT for every regular transcript file below ROOT, hidden entries included, in no
// particular order. The root itself may be a symbolic link; nothing below it is followed, so
// link loops cost nothing. Folders and files that cannot be read are skipped; the walk keeps
// its own list of folders to visit, so a deep tree costs time and never stack. Paths are bytes
// as the file system holds them. Returns false when ROOT cannot be opened as a folder.
//
// The directory entry's type decides whether a name is looked at further, so the walk costs
// one listing per folder and one status call per transcript file.
bool walkTranscripts(std::string_view root, const std::function<void(const TranscriptFile &)> &visit,
                     const FolderVisitor &enterFolder = {});

} // namespace Usage

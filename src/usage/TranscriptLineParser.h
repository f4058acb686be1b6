#pragma once

#include "usage/FileProgress.h"
#include "usage/TranscriptRoots.h"

#include <cstddef>
#include <memory>
#include <string_view>

namespace Usage {

// Applies transcript lines of one dialect to a file's counters. Only the keys the dialect
// needs are looked at; a line that is not a JSON object or lacks such a key is skipped.
class TranscriptLineParser
{
public:
    // Bytes that must be readable after every line handed to parse().
    static std::size_t padding();

    // Bytes that every line the dialect can count contains (a quoted key or value that is
    // compared as written). A line without them is skipped unparsed. A writer that spelled the
    // key with \u escapes would go uncounted; none does, and looking for escapes as well
    // halved the reading speed.
    static std::string_view requiredText(TranscriptDialect dialect);

    TranscriptLineParser();
    ~TranscriptLineParser();
    TranscriptLineParser(const TranscriptLineParser &) = delete;
    TranscriptLineParser &operator=(const TranscriptLineParser &) = delete;

    // LINE (without its newline) lies in a buffer of which at least LENGTH + padding() bytes
    // from LINE on are readable. True when the line reached the counters.
    bool parse(TranscriptDialect dialect, const char *line, std::size_t length,
               FileProgress &progress);

    // Adds to PROGRESS what the lines after those it counted gave when parsed into a new
    // FileProgress, LATER (COUNTED: some of them reached the counters): the same as parsing
    // them into PROGRESS, so that stretches of one file can be parsed apart and merged in order.
    static void merge(TranscriptDialect dialect, FileProgress &progress, FileProgress &&later,
                      bool counted);

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace Usage

#pragma once

#include "usage/FileProgress.h"
#include "usage/TranscriptRoots.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace Usage {

// Reads a long stretch of a transcript's complete lines (the first read of a long conversation)
// at the page cache's speed: the file is mapped rather than copied into the process, a bounded
// window at a time so that memory stays small whatever its size, and the stretch is split into
// parts read on as many threads. Lines count independently of one another, so each part counts
// its own from scratch and the parts are merged into the file's counters in file order.
class MappedReading
{
public:
    struct Settings
    {
        std::uint64_t threshold = 4 * 1024 * 1024; // the shortest stretch read this way
        std::size_t window = 2 * 1024 * 1024;      // bytes a part maps at a time
        std::uint64_t partSize = 4 * 1024 * 1024;  // the fewest bytes worth a thread of their own
        unsigned parts = 0;                        // the most parts; 0: one per core, at most 4
        bool map = true; // windows mapped; read into a buffer otherwise (the reference)
    };

    MappedReading();
    ~MappedReading();
    MappedReading(const MappedReading &) = delete;
    MappedReading &operator=(const MappedReading &) = delete;

    void setSettings(const Settings &settings);
    bool worthMapping(std::uint64_t bytes) const { return bytes >= m_settings.threshold; }

    // Counts the lines of FD (SIZE bytes) that start in [progress.offset, TO) into PROGRESS and
    // moves its offset past them; returns the bytes it moved on. It stops early at a line it
    // leaves to the caller's reading: one of LINELIMIT bytes or more, one still unfinished at
    // SIZE, or where the file shrank or changed under the mapping.
    std::uint64_t read(int fd, std::uint64_t to, std::uint64_t size, TranscriptDialect dialect,
                       std::size_t lineLimit, FileProgress &progress);

private:
    struct Part;
    struct Job;
    class Window;

    void readPart(const Job &job, Part &part) const;
    std::uint64_t readLines(const Job &job, Part &part, const Window &map, std::uint64_t base,
                            const char *at, const char *end, bool &stopped) const;
    std::optional<std::uint64_t> readLongLine(const Job &job, Part &part,
                                              std::uint64_t start) const;
    std::optional<std::uint64_t> firstLineStart(const Job &job, Part &part, std::uint64_t from,
                                                std::uint64_t before) const;

    Settings m_settings;
    std::vector<std::unique_ptr<Part>> m_parts;
};

} // namespace Usage

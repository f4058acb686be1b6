#pragma once

#include "usage/FileProgress.h"
#include "usage/MappedReading.h"
#include "usage/TokenUsage.h"
#include "usage/TranscriptRoots.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

namespace Usage {

class TranscriptLineParser;
class TranscriptSource;

// What usage() read: the transcript it chose (path bytes as on disk) and its counters.
struct SessionUsage
{
    QByteArray path;
    TokenUsage usage;
    // False when the read budget ran out before the end of the file: call again for the rest.
    bool readToEnd = true;
    QuotaWindows quota{};

    friend bool operator==(const SessionUsage &, const SessionUsage &) = default;
};

// Finds a harness's newest transcript through a transcript source and reads what was appended
// to it since the last call into running counters, one FileProgress per file.
//
// Long stretches (a first read) are read mapped, in parts on several threads (MappedReading);
// appended lines and what the mapped reading leaves are read in chunks of chunkSize bytes. A
// line longer than a chunk is scanned through unkept unless it contains what its dialect counts;
// only such a line makes the buffer grow (to hold it whole), up to lineLimit: a longer line is
// skipped without being kept, and the search for its end goes on where it stopped at the next
// call. Memory stays bounded by the limit whatever the file holds.
//
// A read budget bounds the bytes one call reads, so that a caller on the event loop's thread can
// catch up with a file that grew by gigabytes a slice at a time. It is checked only where the
// next call resumes without reading anything twice (between lines, or inside a line already too
// long to count), so every call moves on by at least the budget less one chunk.
class TokenUsageReader
{
public:
    static constexpr std::size_t chunkSize = 1024 * 1024;
    static constexpr std::size_t defaultLineLimit = 64 * 1024 * 1024;
    static constexpr std::uint64_t unlimited = ~std::uint64_t(0);

    // SOURCE outlives the reader.
    explicit TokenUsageReader(TranscriptSource &source, std::size_t lineLimit = defaultLineLimit);
    ~TokenUsageReader();
    TokenUsageReader(const TokenUsageReader &) = delete;
    TokenUsageReader &operator=(const TokenUsageReader &) = delete;

    // Path of the transcript with the latest modification time (Claude Code's may be narrowed
    // to one project's folder), or none.
    std::optional<QByteArray>
    activeSessionPath(Manifest::KnownHarness harness,
                      const std::optional<QString> &projectDirectory = std::nullopt) const;

    // The newest transcript and its counters after reading its appended complete lines, or
    // none when the harness has no transcript. A transcript that cannot be opened gives the
    // counters known so far.
    std::optional<SessionUsage> usage(Manifest::KnownHarness harness,
                                      const std::optional<QString> &projectDirectory = std::nullopt);

    void reset();

    // Bytes one usage() call reads at most, give or take a chunk and the line being kept whole.
    void setReadBudget(std::uint64_t bytes) { m_readBudget = bytes; }

    // When and how long stretches are read mapped and in parts (see MappedReading).
    void setMappedReading(const MappedReading::Settings &settings);

    const QHash<QByteArray, FileProgress> &progress() const { return m_progress; }

private:
    struct LongLine
    {
        enum Outcome
        {
            Unfinished,
            Skipped,
            Needed
        } outcome;
        std::uint64_t next; // offset after the skipped line
    };

    std::optional<QByteArray> newestPath(TranscriptDialect dialect,
                                         const std::optional<QString> &projectDirectory) const;
    void readFile(int fd, TranscriptDialect dialect, FileProgress &progress);
    void readAppended(int fd, TranscriptDialect dialect, FileProgress &progress,
                      std::uint64_t size);
    bool readChunks(int fd, TranscriptDialect dialect, FileProgress &progress,
                    std::uint64_t size);
    LongLine skipLongLine(int fd, std::uint64_t lineOffset, std::uint64_t position,
                          std::size_t overlap, std::string_view required,
                          FileProgress &progress);
    // At least one read per call, so that every call moves on.
    bool budgetSpent() const { return m_readThisCall > 0 && m_readThisCall >= m_readBudget; }
    void unreadable(const QByteArray &path, const QString &why);
    void ensureCapacity(std::size_t bytes);
    void growBuffer(std::size_t keep);

    TranscriptSource *m_source;
    std::size_t m_lineLimit;
    QHash<QByteArray, FileProgress> m_progress;
    std::unique_ptr<TranscriptLineParser> m_parser;
    std::unique_ptr<MappedReading> m_mapped;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_bufferCapacity = 0; // usable bytes, padding not included
    std::uint64_t m_readBudget = unlimited;
    std::uint64_t m_readThisCall = 0;
    bool m_budgetSpent = false;
    QByteArray m_unreadable; // the transcript last logged as unreadable
};

} // namespace Usage

#pragma once

#include "platform/HomeDirectory.h"
#include "usage/FileProgress.h"
#include "usage/TokenUsage.h"
#include "usage/TranscriptRoots.h"

#include <QHash>
#include <QString>

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

namespace Usage {

class TranscriptLineParser;

// Finds a harness's newest transcript and reads what was appended to it since the last call
// into running counters, one FileProgress per file.
//
// Files are read in chunks of chunkSize bytes. A line longer than a chunk is scanned through
// unkept unless it contains what its dialect counts; only such a line makes the buffer grow
// (to hold it whole), and the buffer shrinks back once it is consumed. Memory stays bounded by
// the chunk, or by the longest line that can count, never by the file.
class TokenUsageReader
{
public:
    static constexpr std::size_t chunkSize = 1024 * 1024;

    explicit TokenUsageReader(QString homeDirectory = Platform::homeDirectory());
    ~TokenUsageReader();
    TokenUsageReader(const TokenUsageReader &) = delete;
    TokenUsageReader &operator=(const TokenUsageReader &) = delete;

    // Full path of the transcript with the latest modification time ("claude-code" may be
    // narrowed to one project's folder), or none.
    std::optional<QString>
    activeSessionPath(const QString &harnessId,
                      const std::optional<QString> &projectDirectory = std::nullopt) const;

    // The newest transcript's counters after reading its appended complete lines, or none
    // when the harness has no transcript.
    std::optional<TokenUsage> usage(const QString &harnessId,
                                    const std::optional<QString> &projectDirectory = std::nullopt);

    void reset();

    const QHash<QString, FileProgress> &progress() const { return m_progress; }

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

    void readAppended(int fd, TranscriptDialect dialect, FileProgress &progress);
    LongLine skipLongLine(int fd, std::uint64_t lineOffset, std::size_t carried,
                          std::string_view required);
    void ensureCapacity(std::size_t bytes);
    void growBuffer(std::size_t keep);

    QString m_home;
    QHash<QString, FileProgress> m_progress;
    std::unique_ptr<TranscriptLineParser> m_parser;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_bufferCapacity = 0; // usable bytes, padding not included
};

} // namespace Usage

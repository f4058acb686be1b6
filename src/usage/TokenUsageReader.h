#pragma once

#include "platform/HomeDirectory.h"
#include "usage/FileProgress.h"
#include "usage/TokenUsage.h"

#include <QHash>
#include <QString>

#include <cstddef>
#include <memory>
#include <optional>

namespace Usage {
class TranscriptLineParser;
}

// Finds a harness's newest transcript and reads what was appended to it since the last call
// into running counters, one FileProgress per file.
//
// Files are read in chunks of chunkSize bytes. Only a line longer than a chunk makes the
// buffer grow (to hold that one line); it shrinks back once the line is consumed, so memory
// stays bounded by the longest line, not by the file.
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
    void readAppended(int fd, bool dialectIsClaudeCode, FileProgress &progress);
    void ensureCapacity(std::size_t bytes);

    QString m_home;
    QHash<QString, FileProgress> m_progress;
    std::unique_ptr<Usage::TranscriptLineParser> m_parser;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_bufferCapacity = 0; // usable bytes, padding not included
};

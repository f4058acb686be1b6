#include "usage/TokenUsageReader.h"

#include "usage/TranscriptLineParser.h"
#include "usage/TranscriptRoots.h"
#include "usage/TranscriptTree.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace Usage {

namespace {

// The platform's "distant past" (year 1) as the starting point of the newest-file search.
constexpr std::int64_t distantPastSeconds = -62135769600;

std::string encodedPath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

TokenUsageReader::TokenUsageReader(QString homeDirectory)
    : m_home(std::move(homeDirectory))
    , m_parser(std::make_unique<TranscriptLineParser>())
{}

TokenUsageReader::~TokenUsageReader() = default;

std::optional<QString>
TokenUsageReader::activeSessionPath(const QString &harnessId,
                                    const std::optional<QString> &projectDirectory) const
{
    const auto root = transcriptRoot(m_home, harnessId);
    if (!root)
        return std::nullopt;
    std::string searched = encodedPath(*root);
    if (projectDirectory && dialectFor(harnessId) == TranscriptDialect::ClaudeCode) {
        QString folderName = *projectDirectory;
        folderName.replace(QLatin1Char('/'), QLatin1Char('-'));
        const std::string narrowed = searched + '/' + encodedPath(folderName);
        struct stat status;
        if (::lstat(narrowed.c_str(), &status) == 0)
            searched = narrowed;
    }

    std::string best;
    std::int64_t bestSeconds = distantPastSeconds;
    std::uint32_t bestNanoseconds = 0;
    const bool walked = walkTranscripts(searched, [&](const TranscriptFile &file) {
        if (file.modifiedSeconds > bestSeconds ||
            (file.modifiedSeconds == bestSeconds && file.modifiedNanoseconds > bestNanoseconds)) {
            bestSeconds = file.modifiedSeconds;
            bestNanoseconds = file.modifiedNanoseconds;
            best.assign(file.path);
        }
    });
    if (!walked || best.empty())
        return std::nullopt;
    return QFile::decodeName(QByteArray::fromRawData(best.data(), qsizetype(best.size())));
}

std::optional<TokenUsage> TokenUsageReader::usage(const QString &harnessId,
                                                  const std::optional<QString> &projectDirectory)
{
    const auto path = activeSessionPath(harnessId, projectDirectory);
    if (!path)
        return std::nullopt;
    // Worked on in place: copying the id set of a long conversation would cost more than
    // reading one appended line.
    const auto stored = m_progress.find(*path);
    FileProgress unseen;
    FileProgress &progress = stored != m_progress.end() ? *stored : unseen;

    const int fd = ::open(QFile::encodeName(*path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return progress.usage;
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        progress.offset = 0;
    } else {
        // Truncated, or replaced by another file (a rename over it): read again from the
        // start. Counters stay; counted ids keep messages from being counted twice.
        const bool replaced =
            progress.offset > 0 && (progress.device != std::uint64_t(status.st_dev) ||
                                    progress.inode != std::uint64_t(status.st_ino));
        if (replaced || std::uint64_t(status.st_size) < progress.offset)
            progress.offset = 0;
        progress.device = std::uint64_t(status.st_dev);
        progress.inode = std::uint64_t(status.st_ino);
    }
    readAppended(fd, *dialectFor(harnessId), progress);
    ::close(fd);

    const TokenUsage result = progress.usage;
    if (stored == m_progress.end())
        m_progress.insert(*path, std::move(unseen));
    return result;
}

void TokenUsageReader::reset()
{
    m_progress.clear();
}

void TokenUsageReader::ensureCapacity(std::size_t bytes)
{
    if (m_buffer && m_bufferCapacity == bytes)
        return;
    m_buffer =
        std::make_unique_for_overwrite<char[]>(bytes + TranscriptLineParser::padding());
    m_bufferCapacity = bytes;
}

void TokenUsageReader::growBuffer(std::size_t keep)
{
    const std::size_t larger = 2 * m_bufferCapacity;
    auto buffer =
        std::make_unique_for_overwrite<char[]>(larger + TranscriptLineParser::padding());
    std::memcpy(buffer.get(), m_buffer.get(), keep);
    m_buffer = std::move(buffer);
    m_bufferCapacity = larger;
}

namespace {

bool contains(const char *data, std::size_t length, std::string_view text)
{
    return ::memmem(data, length, text.data(), text.size()) != nullptr;
}

} // namespace

// The buffer holds the first CARRIED bytes of a line that starts at LINEOFFSET, without its
// newline and without the required text. Reads on through the line with the buffer alone.
TokenUsageReader::LongLine TokenUsageReader::skipLongLine(int fd, std::uint64_t lineOffset,
                                                          std::size_t carried,
                                                          std::string_view required)
{
    // The last bytes stay in front so that the required text is found across reads.
    const std::size_t overlap = std::min(carried, required.size() - 1);
    char *buffer = m_buffer.get();
    std::memmove(buffer, buffer + carried - overlap, overlap);
    std::uint64_t position = lineOffset + carried;
    for (;;) {
        const ssize_t count =
            ::pread(fd, buffer + overlap, m_bufferCapacity - overlap, off_t(position));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return {LongLine::Unfinished, 0};
        const char *fresh = buffer + overlap;
        const auto *newline =
            static_cast<const char *>(std::memchr(fresh, '\n', std::size_t(count)));
        const char *end = newline ? newline : fresh + count;
        if (contains(buffer, std::size_t(end - buffer), required))
            return {LongLine::Needed, 0};
        if (newline)
            return {LongLine::Skipped, position + std::uint64_t(newline - fresh) + 1};
        position += std::uint64_t(count);
        std::memmove(buffer, fresh + count - overlap, overlap);
    }
}

// Reads from the stored offset to the end of the file, one chunk at a time, and hands every
// complete line that can count to the parser. The offset advances past each consumed newline
// only, so a read error part-way keeps counters and offset in step.
//
// A line longer than the buffer is scanned through without being kept when it lacks the
// dialect's required text (tool results and pasted files, the usual long lines); only a long
// line that may count is held whole, in a buffer grown for it and shrunk afterwards.
void TokenUsageReader::readAppended(int fd, TranscriptDialect dialect,
                                    FileProgress &progress)
{
    const std::string_view required = TranscriptLineParser::requiredText(dialect);
    const std::size_t padding = TranscriptLineParser::padding();
    ensureCapacity(chunkSize);
    std::uint64_t readPosition = progress.offset;
    std::size_t carried = 0;  // bytes of an unfinished line at the start of the buffer
    std::size_t searched = 0; // of those, already known to hold no newline
    bool keepWhole = false;   // the unfinished line holds the required text
    for (;;) {
        if (carried == m_bufferCapacity) {
            if (!keepWhole && !contains(m_buffer.get(), carried, required)) {
                const LongLine line = skipLongLine(fd, progress.offset, carried, required);
                if (line.outcome == LongLine::Unfinished)
                    return;
                carried = 0;
                searched = 0;
                if (line.outcome == LongLine::Skipped)
                    progress.offset = line.next;
                else
                    keepWhole = true;
                readPosition = progress.offset;
                continue;
            }
            growBuffer(carried);
        }
        char *buffer = m_buffer.get();
        const ssize_t count =
            ::pread(fd, buffer + carried, m_bufferCapacity - carried, off_t(readPosition));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        readPosition += std::uint64_t(count);
        const std::size_t end = carried + std::size_t(count);
        std::size_t lineStart = 0;
        std::size_t searchFrom = searched;
        while (const void *found = std::memchr(buffer + searchFrom, '\n', end - searchFrom)) {
            const std::size_t newline = std::size_t(static_cast<const char *>(found) - buffer);
            const std::size_t length = newline - lineStart;
            if (contains(buffer + lineStart, length, required))
                m_parser->parse(dialect, buffer + lineStart, length,
                                m_bufferCapacity + padding - lineStart, progress);
            lineStart = newline + 1;
            searchFrom = lineStart;
        }
        if (lineStart > 0)
            keepWhole = false;
        progress.offset += lineStart;
        carried = end - lineStart;
        searched = carried;
        if (lineStart > 0 && carried > 0)
            std::memmove(buffer, buffer + lineStart, carried);
        if (m_bufferCapacity > chunkSize && carried < chunkSize) {
            auto normal = std::make_unique_for_overwrite<char[]>(chunkSize + padding);
            std::memcpy(normal.get(), buffer, carried);
            m_buffer = std::move(normal);
            m_bufferCapacity = chunkSize;
        }
    }
}

} // namespace Usage

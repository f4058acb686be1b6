#include "usage/TokenUsageReader.h"

#include "usage/KeySearch.h"
#include "usage/Log.h"
#include "usage/MappedReading.h"
#include "usage/TranscriptLineParser.h"
#include "usage/TranscriptOrder.h"
#include "usage/TranscriptSource.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace Usage {

namespace {

// Bytes before the offset compared at each call to notice a file rewritten in place.
constexpr std::size_t consumedTailSize = 32;

bool contains(const char *data, std::size_t length, std::string_view text)
{
    return KeySearch::find(data, data + length, text).key != nullptr;
}

// Reads exactly LENGTH bytes at OFFSET, or fewer at the end of the file.
std::string readAt(int fd, std::uint64_t offset, std::size_t length)
{
    std::string bytes(length, '\0');
    std::size_t done = 0;
    while (done < length) {
        const ssize_t count = ::pread(fd, bytes.data() + done, length - done, off_t(offset + done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        done += std::size_t(count);
    }
    bytes.resize(done);
    return bytes;
}

} // namespace

TokenUsageReader::TokenUsageReader(TranscriptSource &source, std::size_t lineLimit)
    : m_source(&source)
    , m_lineLimit(std::max(lineLimit, chunkSize))
    , m_parser(std::make_unique<TranscriptLineParser>())
    , m_mapped(std::make_unique<MappedReading>())
{}

TokenUsageReader::~TokenUsageReader() = default;

std::optional<QByteArray>
TokenUsageReader::activeSessionPath(Manifest::KnownHarness harness,
                                    const std::optional<QString> &projectDirectory) const
{
    return newestPath(dialectFor(harness), projectDirectory);
}

std::optional<QByteArray>
TokenUsageReader::newestPath(TranscriptDialect dialect,
                             const std::optional<QString> &projectDirectory) const
{
    const std::vector<std::string> &roots = m_source->roots(dialect);
    if (projectDirectory && dialect == TranscriptDialect::ClaudeCode) {
        QString folderName = *projectDirectory;
        folderName.replace(QLatin1Char('/'), QLatin1Char('-'));
        const std::string &root = roots.front();
        const std::string narrowed = root + '/' + QFile::encodeName(folderName).toStdString();
        // A folder of Claude Code's own tree, not a link out of it (the tree's walk does not
        // follow links), nor the root itself or its parent.
        struct stat status;
        if (!folderName.isEmpty() && folderName != u"." && folderName != u".." &&
            ::lstat(narrowed.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
            const auto newest = m_source->newest(root, narrowed);
            return newest ? std::optional(QByteArray::fromStdString(*newest)) : std::nullopt;
        }
    }
    // Each root's newest, and of those the newest by the sources' order; the times are only
    // looked up when more than one root has a transcript.
    std::vector<std::string> candidates;
    for (const std::string &root : roots) {
        if (auto newest = m_source->newest(root, root))
            candidates.push_back(std::move(*newest));
    }
    if (candidates.empty())
        return std::nullopt;
    std::size_t best = 0;
    ModificationTime bestTime{};
    for (std::size_t at = 0; at < candidates.size() && candidates.size() > 1; ++at) {
        struct statx status;
        ModificationTime time{};
        if (::statx(AT_FDCWD, candidates[at].c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
                    STATX_MTIME, &status) == 0)
            time = {status.stx_mtime.tv_sec, status.stx_mtime.tv_nsec};
        if (at == 0 || isNewer(time, candidates[at], bestTime, candidates[best])) {
            best = at;
            bestTime = time;
        }
    }
    return QByteArray::fromStdString(candidates[best]);
}

std::optional<SessionUsage> TokenUsageReader::usage(Manifest::KnownHarness harness,
                                                    const std::optional<QString> &projectDirectory)
{
    // The dialect decides the root, the narrowing and the parsing: worked out once.
    const TranscriptDialect dialect = dialectFor(harness);
    auto path = newestPath(dialect, projectDirectory);
    if (!path)
        return std::nullopt;
    // Worked on in place: copying the id set of a long conversation would cost more than
    // reading one appended line.
    const auto stored = m_progress.find(*path);
    FileProgress unseen;
    FileProgress &progress = stored != m_progress.end() ? *stored : unseen;

    // Non-blocking, so that a named pipe put in the file's place cannot hold the open, and only
    // a regular file is read.
    const int fd =
        ::open(path->constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        // Gone since it was listed: the next change names the next newest.
        if (errno != ENOENT)
            unreadable(*path, qt_error_string(errno));
        return SessionUsage{*path, progress.usage, true, progress.quota};
    }
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        unreadable(*path, QStringLiteral("not a regular file"));
        return SessionUsage{*path, progress.usage, true, progress.quota};
    }
    m_unreadable.clear();
    m_readThisCall = 0;
    m_budgetSpent = false;
    readFile(fd, dialect, progress);
    progress.device = std::uint64_t(status.st_dev);
    progress.inode = std::uint64_t(status.st_ino);
    ::close(fd);

    SessionUsage result{*path, progress.usage, !m_budgetSpent, progress.quota};
    if (stored == m_progress.end())
        m_progress.insert(*path, std::move(unseen));
    return result;
}

void TokenUsageReader::reset()
{
    m_progress.clear();
}

void TokenUsageReader::setMappedReading(const MappedReading::Settings &settings)
{
    m_mapped->setSettings(settings);
}

void TokenUsageReader::unreadable(const QByteArray &path, const QString &why)
{
    // Once until it can be read, not at every call while it lasts.
    if (path == m_unreadable)
        return;
    m_unreadable = path;
    qCWarning(lcUsage, "Cannot read transcript %s: %s", path.constData(), qUtf8Printable(why));
}

// Truncated, replaced by another file (a rename over it) or rewritten in place: read again from
// the start. Counters stay; a message read again replaces what it counted, so none counts twice.
void TokenUsageReader::readFile(int fd, TranscriptDialect dialect, FileProgress &progress)
{
    struct stat status;
    const bool known = ::fstat(fd, &status) == 0;
    bool again = !known;
    if (!again && progress.offset > 0) {
        again = progress.device != std::uint64_t(status.st_dev) ||
                progress.inode != std::uint64_t(status.st_ino) ||
                std::uint64_t(status.st_size) < progress.offset ||
                readAt(fd, progress.offset - progress.consumedTail.size(),
                       progress.consumedTail.size()) != progress.consumedTail;
    }
    if (again) {
        if (progress.offset > 0)
            qCDebug(lcUsage, "Transcript truncated, replaced or rewritten: read again from the start");
        progress.offset = 0;
        progress.skipTo = 0;
        progress.consumedTail.clear();
    }
    const std::uint64_t before = progress.offset;
    readAppended(fd, dialect, progress, known ? std::uint64_t(status.st_size) : 0);
    if (progress.offset != before) {
        const std::size_t tail = std::size_t(std::min<std::uint64_t>(progress.offset, consumedTailSize));
        progress.consumedTail = readAt(fd, progress.offset - tail, tail);
    }
}

void TokenUsageReader::ensureCapacity(std::size_t bytes)
{
    if (m_buffer && m_bufferCapacity == bytes)
        return;
    m_buffer = std::make_unique_for_overwrite<char[]>(bytes + TranscriptLineParser::padding());
    m_bufferCapacity = bytes;
}

void TokenUsageReader::growBuffer(std::size_t keep)
{
    const std::size_t larger = std::min(2 * m_bufferCapacity, m_lineLimit);
    auto buffer = std::make_unique_for_overwrite<char[]>(larger + TranscriptLineParser::padding());
    std::memcpy(buffer.get(), m_buffer.get(), keep);
    m_buffer = std::move(buffer);
    m_bufferCapacity = larger;
}

// Reads on through the line that starts at LINEOFFSET from POSITION with the buffer alone; its
// first OVERLAP bytes hold the bytes just before POSITION. A line found to hold REQUIRED is
// Needed, unless it is already longer than the line limit: such a line is only searched for
// its end (an empty REQUIRED asks for that from the start), and where the search stopped is
// kept for the next call.
TokenUsageReader::LongLine TokenUsageReader::skipLongLine(int fd, std::uint64_t lineOffset,
                                                          std::uint64_t position,
                                                          std::size_t overlap,
                                                          std::string_view required,
                                                          FileProgress &progress)
{
    char *buffer = m_buffer.get();
    for (;;) {
        const bool overLimit = position - lineOffset >= m_lineLimit;
        if (overLimit)
            required = {};
        // Past the limit only the end is searched for, and where the search stopped is kept:
        // the next call resumes there.
        if (overLimit && budgetSpent()) {
            progress.skipTo = position;
            m_budgetSpent = true;
            return {LongLine::Unfinished, 0};
        }
        const ssize_t count =
            ::pread(fd, buffer + overlap, m_bufferCapacity - overlap, off_t(position));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            if (overLimit)
                progress.skipTo = position;
            return {LongLine::Unfinished, 0};
        }
        m_readThisCall += std::uint64_t(count);
        const char *fresh = buffer + overlap;
        const auto *newline =
            static_cast<const char *>(std::memchr(fresh, '\n', std::size_t(count)));
        const char *end = newline ? newline : fresh + count;
        if (!required.empty() && contains(buffer, std::size_t(end - buffer), required))
            return {LongLine::Needed, 0};
        if (newline)
            return {LongLine::Skipped, position + std::uint64_t(newline - fresh) + 1};
        position += std::uint64_t(count);
        overlap = required.empty() ? 0 : std::min(std::size_t(count) + overlap, required.size() - 1);
        std::memmove(buffer, fresh + count - overlap, overlap);
    }
}

// Long stretches are read mapped, in parts on as many threads; the rest, and the lines the
// mapped reading leaves (longer than the limit, unfinished, or in a file that shrank meanwhile),
// a chunk at a time.
void TokenUsageReader::readAppended(int fd, TranscriptDialect dialect, FileProgress &progress,
                                    std::uint64_t size)
{
    for (;;) {
        const std::uint64_t left = m_readBudget - std::min(m_readBudget, m_readThisCall);
        const std::uint64_t stretch =
            std::min(size - std::min(size, progress.offset), left);
        if (progress.skipTo <= progress.offset && m_mapped->worthMapping(stretch)) {
            m_readThisCall += m_mapped->read(fd, progress.offset + stretch, size, dialect,
                                             m_lineLimit, progress);
            if (budgetSpent()) {
                m_budgetSpent = true;
                return;
            }
        }
        if (!readChunks(fd, dialect, progress, size))
            return;
    }
}

// Reads from the stored offset to the end of the file, one chunk at a time, and hands every
// complete line that can count to the parser. The offset advances past each consumed newline
// only, so a read error part-way keeps counters and offset in step. True when it stopped
// because what is left of the first SIZE bytes is worth mapping again.
//
// A line longer than the buffer is scanned through without being kept when it lacks the
// dialect's required text (tool results and pasted files, the usual long lines); only a long
// line that may count is held whole, in a buffer grown for it up to the line limit and shrunk
// afterwards.
bool TokenUsageReader::readChunks(int fd, TranscriptDialect dialect, FileProgress &progress,
                                  std::uint64_t size)
{
    const std::uint64_t start = progress.offset;
    const std::string_view required = TranscriptLineParser::requiredText(dialect);
    const std::size_t padding = TranscriptLineParser::padding();
    ensureCapacity(chunkSize);
    const auto skipped = [&](const LongLine &line) {
        if (line.outcome != LongLine::Skipped)
            return false;
        progress.offset = line.next;
        progress.skipTo = 0;
        return true;
    };
    if (progress.skipTo > progress.offset &&
        !skipped(skipLongLine(fd, progress.offset, progress.skipTo, 0, {}, progress)))
        return false;
    std::uint64_t readPosition = progress.offset;
    std::size_t carried = 0;  // bytes of an unfinished line at the start of the buffer
    std::size_t searched = 0; // of those, already known to hold no newline
    bool keepWhole = false;   // the unfinished line holds the required text
    for (;;) {
        if (carried == m_bufferCapacity) {
            const bool wanted = keepWhole || contains(m_buffer.get(), carried, required);
            if (!wanted || m_bufferCapacity >= m_lineLimit) {
                const std::size_t overlap = wanted ? 0 : std::min(carried, required.size() - 1);
                std::memmove(m_buffer.get(), m_buffer.get() + carried - overlap, overlap);
                const LongLine line =
                    skipLongLine(fd, progress.offset, progress.offset + carried, overlap,
                                 wanted ? std::string_view() : required, progress);
                if (line.outcome == LongLine::Unfinished)
                    return false;
                carried = 0;
                searched = 0;
                keepWhole = !skipped(line);
                readPosition = progress.offset;
                continue;
            }
            growBuffer(carried);
        }
        // Not while a line is kept whole: the next call would have to find it again. The
        // unfinished line's carried bytes (less than a chunk) are read again next time.
        if (!keepWhole && m_bufferCapacity == chunkSize) {
            if (budgetSpent()) {
                m_budgetSpent = true;
                break;
            }
            if (progress.offset > start && progress.offset < size &&
                m_mapped->worthMapping(size - progress.offset))
                return true;
        }
        char *buffer = m_buffer.get();
        const ssize_t count =
            ::pread(fd, buffer + carried, m_bufferCapacity - carried, off_t(readPosition));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            qCWarning(lcUsage, "Cannot read a transcript: %s", qUtf8Printable(qt_error_string(errno)));
        if (count <= 0)
            break;
        m_readThisCall += std::uint64_t(count);
        readPosition += std::uint64_t(count);
        const std::size_t end = carried + std::size_t(count);
        const auto *last =
            static_cast<const char *>(::memrchr(buffer + searched, '\n', end - searched));
        const std::size_t lineStart = last ? std::size_t(last - buffer) + 1 : 0;
        KeySearch::forEachLine(buffer, buffer + lineStart, required,
                               [&](const char *line, std::size_t length) {
                                   m_parser->parse(dialect, line, length, progress);
                                   return true;
                               });
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
    return false;
}

} // namespace Usage

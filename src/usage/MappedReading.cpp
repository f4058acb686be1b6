#include "usage/MappedReading.h"

#include "usage/GuardedMapping.h"
#include "usage/KeySearch.h"
#include "usage/Log.h"
#include "usage/TranscriptLineParser.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>

namespace Usage {

namespace {

constexpr unsigned mostParts = 4;
// A copy of a line longer than this is given back after its line.
constexpr std::size_t copyKept = 1024 * 1024;

std::uint64_t pageStart(std::uint64_t offset)
{
    return offset & ~std::uint64_t(GuardedMapping::pageSize() - 1);
}

// Reads LENGTH bytes at OFFSET, fewer at the end of the file; returns how many.
std::size_t readAt(int fd, char *into, std::size_t length, std::uint64_t offset)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t count = ::pread(fd, into + done, length - done, off_t(offset + done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        done += std::size_t(count);
    }
    return done;
}

} // namespace

struct MappedReading::Job
{
    int fd;
    std::uint64_t size;
    TranscriptDialect dialect;
    std::string_view key;
    std::size_t lineLimit;
    std::size_t window;
    bool map;
};

// One thread's share: the lines that start in [from, to).
struct MappedReading::Part
{
    std::uint64_t from = 0;
    std::uint64_t to = 0;
    bool first = false; // from is known to start a line
    // What it found: where its first line starts (none when no line does before to), where it
    // stopped (one past its last line's newline), and whether that was before to.
    std::optional<std::uint64_t> start;
    std::uint64_t end = 0;
    bool stopped = false;
    FileProgress counters; // counted from scratch, merged afterwards
    bool counted = false;
    TranscriptLineParser parser;
    std::unique_ptr<char[]> copy;
    std::size_t copyCapacity = 0;
    std::unique_ptr<char[]> buffer; // the window, when read rather than mapped
    std::size_t bufferCapacity = 0;

    // Room for a line of LENGTH bytes and the parser's padding. Lines are parsed from a copy: the
    // parser trusts what it checked once, and a mapping can change under it.
    char *room(std::size_t length)
    {
        if (copyCapacity < length) {
            copy = std::make_unique_for_overwrite<char[]>(length + TranscriptLineParser::padding());
            copyCapacity = length;
        }
        return copy.get();
    }

    void parse(TranscriptDialect dialect, std::size_t length)
    {
        counted = parser.parse(dialect, copy.get(), length, counters) || counted;
        if (copyCapacity > copyKept) {
            copy.reset();
            copyCapacity = 0;
        }
    }
};

// A window of the file as a part sees it, from the page that holds a position on: mapped, or
// read into the part's own buffer.
class MappedReading::Window
{
public:
    Window(const Job &job, Part &part, std::uint64_t position)
        : m_base(pageStart(position))
    {
        const auto length = std::size_t(std::min<std::uint64_t>(job.window, job.size - m_base));
        if (job.map) {
            m_mapping.emplace(job.fd, m_base, length);
            if (m_mapping->valid()) {
                m_data = m_mapping->data();
                m_size = length;
            }
            return;
        }
        if (part.bufferCapacity < length) {
            part.buffer = std::make_unique_for_overwrite<char[]>(length);
            part.bufferCapacity = length;
        }
        const std::size_t done = readAt(job.fd, part.buffer.get(), length, m_base);
        m_data = done > 0 ? part.buffer.get() : nullptr;
        m_size = done;
        m_short = done < length;
    }

    bool valid() const { return m_data != nullptr; }
    std::uint64_t base() const { return m_base; } // the file offset of data()
    const char *data() const { return m_data; }
    std::size_t size() const { return m_size; }
    // The file ended before the window did: it shrank since its size was taken.
    bool shrank() const { return m_mapping ? m_mapping->shrank() : m_short; }

private:
    std::uint64_t m_base;
    std::optional<GuardedMapping> m_mapping;
    const char *m_data = nullptr;
    std::size_t m_size = 0;
    bool m_short = false;
};

MappedReading::MappedReading() = default;
MappedReading::~MappedReading() = default;

void MappedReading::setSettings(const Settings &settings)
{
    m_settings = settings;
    // A window holds at least a page more than the overlap a key search needs.
    m_settings.window = std::max(settings.window, 2 * GuardedMapping::pageSize());
}

std::uint64_t MappedReading::read(int fd, std::uint64_t to, std::uint64_t size,
                                  TranscriptDialect dialect, std::size_t lineLimit,
                                  FileProgress &progress)
{
    const std::uint64_t from = progress.offset;
    if (to <= from)
        return 0;
    const std::uint64_t span = to - from;
    const unsigned cores = std::max(1u, std::min(std::thread::hardware_concurrency(), mostParts));
    const unsigned most = m_settings.parts ? m_settings.parts : cores;
    const auto count = unsigned(
        std::clamp<std::uint64_t>(span / std::max<std::uint64_t>(m_settings.partSize, 1), 1, most));
    while (m_parts.size() < count)
        m_parts.push_back(std::make_unique<Part>());
    const Job job{fd,
                  size,
                  dialect,
                  TranscriptLineParser::requiredText(dialect),
                  lineLimit,
                  m_settings.window,
                  m_settings.map};
    for (unsigned at = 0; at < count; ++at) {
        Part &part = *m_parts[at];
        part.from = from + span * at / count;
        part.to = from + span * (at + 1) / count;
        part.first = at == 0;
        part.start.reset();
        part.stopped = false;
        part.counters = FileProgress();
        part.counted = false;
    }
    {
        std::vector<std::jthread> threads;
        for (unsigned at = 1; at < count; ++at) {
            try {
                threads.emplace_back(
                    [this, &job, part = m_parts[at].get()] { readPart(job, *part); });
            } catch (const std::system_error &) {
                readPart(job, *m_parts[at]); // no thread to be had: here then
            }
        }
        readPart(job, *m_parts[0]);
    }

    // In file order. A part whose first line does not start where the one before stopped saw
    // another file than it did (rewritten meanwhile): nothing from there on counts.
    std::uint64_t reached = from;
    for (unsigned at = 0; at < count; ++at) {
        Part &part = *m_parts[at];
        if (!part.start)
            continue; // a line of an earlier part covers it
        if (*part.start != reached)
            break;
        TranscriptLineParser::merge(dialect, progress, std::move(part.counters), part.counted);
        reached = part.end;
        if (part.stopped)
            break;
    }
    if (reached < to)
        qCDebug(lcUsage,
                "Mapped reading stopped %llu bytes short (a long or unfinished line, or "
                "the file changed while read): read on in chunks",
                qulonglong(to - reached));
    progress.offset = reached;
    return reached - from;
}

void MappedReading::readPart(const Job &job, Part &part) const
{
    std::uint64_t position = part.from;
    if (!part.first) {
        part.start = firstLineStart(job, part, part.from, part.to);
        if (!part.start)
            return;
        position = *part.start;
    }
    part.start = position;
    bool stopped = false;
    while (position < part.to && !stopped) {
        bool longLine = false;
        {
            const Window map(job, part, position);
            const std::uint64_t base = map.base();
            if (!map.valid())
                break;
            const char *data = map.data();
            const char *at = data + (position - base);
            const auto *last =
                static_cast<const char *>(::memrchr(at, '\n', std::size_t(data + map.size() - at)));
            if (!last) {
                longLine = !map.shrank();
                stopped = !longLine;
            } else {
                position = readLines(job, part, map, base, at, last + 1, stopped);
            }
        }
        if (longLine) {
            const auto next = readLongLine(job, part, position);
            if (next)
                position = *next;
            stopped = !next;
        }
    }
    part.end = position;
    part.stopped = position < part.to;
}

// Counts the lines of [at, end) (complete ones, END just past a newline) that start before the
// part's end, AT and END lying in MAP, which starts at BASE; returns where the next line starts.
std::uint64_t MappedReading::readLines(const Job &job, Part &part, const Window &map,
                                       std::uint64_t base, const char *at, const char *end,
                                       bool &stopped) const
{
    const char *data = map.data();
    if (part.to - base <= map.size()) {
        const char *beforeTo = data + (part.to - 1 - base);
        if (beforeTo < end) {
            const auto *newline =
                static_cast<const char *>(std::memchr(beforeTo, '\n', std::size_t(end - beforeTo)));
            if (!newline) { // changed under the mapping
                stopped = true;
                return base + std::uint64_t(at - data);
            }
            end = newline + 1;
        }
    }
    const char *consumed = at;
    const bool whole =
        KeySearch::forEachLine(at, end, job.key, [&](const char *line, std::size_t size) {
            if (size < job.lineLimit) {
                std::memcpy(part.room(size), line, size);
                if (map.shrank())
                    return false;
                part.parse(job.dialect, size);
            }
            consumed = line + size + 1;
            return true;
        });
    // Where the file shrank, only what was read before it is sure; the caller reads on.
    stopped = !whole || map.shrank();
    return base + std::uint64_t((stopped ? consumed : end) - data);
}

// The line at START runs past a window: it is searched for its end and the key a window at a
// time, and copied whole only when it counts. None when the caller's reading is to deal with it:
// too long to count, unfinished at the end of the file, or the file shrank.
std::optional<std::uint64_t> MappedReading::readLongLine(const Job &job, Part &part,
                                                         std::uint64_t start) const
{
    bool holds = false;
    std::uint64_t searched = start; // [start, searched) holds no newline
    while (searched < job.size && searched - start < job.lineLimit) {
        // A key across the last window's end is found from its first bytes on.
        const std::uint64_t overlap =
            holds ? 0 : std::min<std::uint64_t>(searched - start, job.key.size() - 1);
        const Window map(job, part, searched - overlap);
        const std::uint64_t base = map.base();
        if (!map.valid() || map.shrank())
            return std::nullopt;
        const char *data = map.data();
        const char *fresh = data + (searched - base);
        const char *end = data + map.size();
        const auto *newline =
            static_cast<const char *>(std::memchr(fresh, '\n', std::size_t(end - fresh)));
        holds = holds ||
                KeySearch::find(fresh - overlap, newline ? newline : end, job.key).key != nullptr;
        if (map.shrank())
            return std::nullopt;
        if (!newline) {
            searched = base + map.size();
            continue;
        }
        const std::uint64_t size = base + std::uint64_t(newline - data) - start;
        if (size >= job.lineLimit)
            return std::nullopt;
        if (holds) {
            if (readAt(job.fd, part.room(std::size_t(size)), std::size_t(size), start) != size)
                return std::nullopt;
            part.parse(job.dialect, std::size_t(size));
        }
        return start + size + 1;
    }
    return std::nullopt;
}

// One past the first newline in [from - 1, before - 1): the first line that starts in
// [from, before).
std::optional<std::uint64_t> MappedReading::firstLineStart(const Job &job, Part &part,
                                                           std::uint64_t from,
                                                           std::uint64_t before) const
{
    for (std::uint64_t searched = from - 1; searched < before - 1;) {
        const Window map(job, part, searched);
        const std::uint64_t base = map.base();
        if (!map.valid() || map.shrank())
            return std::nullopt;
        const char *data = map.data();
        const char *at = data + (searched - base);
        const char *end = data + std::min<std::uint64_t>(map.size(), before - 1 - base);
        const auto *newline =
            static_cast<const char *>(std::memchr(at, '\n', std::size_t(end - at)));
        if (map.shrank())
            return std::nullopt;
        if (newline)
            return base + std::uint64_t(newline - data) + 1;
        searched = base + std::uint64_t(end - data);
    }
    return std::nullopt;
}

} // namespace Usage

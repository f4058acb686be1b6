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

bool readExactly(int fd, char *into, std::size_t length, std::uint64_t offset)
{
    for (std::size_t done = 0; done < length;) {
        const ssize_t count = ::pread(fd, into + done, length - done, off_t(offset + done));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        done += std::size_t(count);
    }
    return true;
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
    const auto count = unsigned(std::clamp<std::uint64_t>(
        span / std::max<std::uint64_t>(m_settings.partSize, 1), 1, most));
    while (m_parts.size() < count)
        m_parts.push_back(std::make_unique<Part>());
    const Job job{fd, size, dialect, TranscriptLineParser::requiredText(dialect), lineLimit,
                  m_settings.window};
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
                threads.emplace_back([this, &job, part = m_parts[at].get()] { readPart(job, *part); });
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
    progress.offset = reached;
    return reached - from;
}

void MappedReading::readPart(const Job &job, Part &part) const
{
    std::uint64_t position = part.from;
    if (!part.first) {
        part.start = firstLineStart(job, part.from, part.to);
        if (!part.start)
            return;
        position = *part.start;
    }
    part.start = position;
    bool stopped = false;
    while (position < part.to && !stopped) {
        bool longLine = false;
        {
            const std::uint64_t base = pageStart(position);
            const auto length = std::size_t(std::min<std::uint64_t>(job.window, job.size - base));
            const GuardedMapping map(job.fd, base, length);
            if (!map.valid())
                break;
            const char *data = map.data();
            const char *at = data + (position - base);
            const auto *last = static_cast<const char *>(
                ::memrchr(at, '\n', std::size_t(data + length - at)));
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
std::uint64_t MappedReading::readLines(const Job &job, Part &part, const GuardedMapping &map,
                                       std::uint64_t base, const char *at, const char *end,
                                       bool &stopped) const
{
    const char *data = map.data();
    if (part.to - base <= map.size()) {
        const char *beforeTo = data + (part.to - 1 - base);
        if (beforeTo < end) {
            const auto *newline = static_cast<const char *>(
                std::memchr(beforeTo, '\n', std::size_t(end - beforeTo)));
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
        const std::uint64_t base = pageStart(searched - overlap);
        const auto length = std::size_t(std::min<std::uint64_t>(job.window, job.size - base));
        const GuardedMapping map(job.fd, base, length);
        if (!map.valid())
            return std::nullopt;
        const char *data = map.data();
        const char *fresh = data + (searched - base);
        const char *end = data + length;
        const auto *newline =
            static_cast<const char *>(std::memchr(fresh, '\n', std::size_t(end - fresh)));
        holds = holds ||
                KeySearch::find(fresh - overlap, newline ? newline : end, job.key).key != nullptr;
        if (map.shrank())
            return std::nullopt;
        if (!newline) {
            searched = base + length;
            continue;
        }
        const std::uint64_t size = base + std::uint64_t(newline - data) - start;
        if (size >= job.lineLimit)
            return std::nullopt;
        if (holds) {
            if (!readExactly(job.fd, part.room(std::size_t(size)), std::size_t(size), start))
                return std::nullopt;
            part.parse(job.dialect, std::size_t(size));
        }
        return start + size + 1;
    }
    return std::nullopt;
}

// One past the first newline in [from - 1, before - 1): the first line that starts in
// [from, before).
std::optional<std::uint64_t> MappedReading::firstLineStart(const Job &job, std::uint64_t from,
                                                           std::uint64_t before) const
{
    for (std::uint64_t searched = from - 1; searched < before - 1;) {
        const std::uint64_t base = pageStart(searched);
        const auto length = std::size_t(std::min<std::uint64_t>(job.window, job.size - base));
        const GuardedMapping map(job.fd, base, length);
        if (!map.valid())
            return std::nullopt;
        const char *data = map.data();
        const char *at = data + (searched - base);
        const char *end = data + std::min<std::uint64_t>(length, before - 1 - base);
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

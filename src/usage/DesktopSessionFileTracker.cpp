#include "usage/DesktopSessionFileTracker.h"

#include <algorithm>

namespace Usage {

namespace {

const std::vector<std::string> noPaths;

const std::vector<std::string> &pathsOf(const TranscriptSource::Listing &listing)
{
    return listing.paths ? *listing.paths : noPaths;
}

} // namespace

DesktopSessionFileTracker::DesktopSessionFileTracker(TranscriptSource &source,
                                                     const Platform::Clock &clock)
    : m_source(&source)
    , m_clock(&clock)
{}

QList<FileState> DesktopSessionFileTracker::scan(Manifest::KnownHarness harness) const
{
    QList<FileState> files;
    for (const std::string &root : m_source->roots(harness)) {
        const TranscriptSource::Listing listing = m_source->listing(root);
        for (const std::string &path : pathsOf(listing))
            files.append(FileState{QByteArray::fromStdString(path),
                                   m_source->size(root, path).value_or(0)});
    }
    std::sort(files.begin(), files.end(),
              [](const FileState &a, const FileState &b) { return a.path < b.path; });
    return files;
}

std::vector<TranscriptSource::Listing>
DesktopSessionFileTracker::listings(const std::vector<std::string> &roots) const
{
    std::vector<TranscriptSource::Listing> all;
    for (const std::string &root : roots)
        all.push_back(m_source->listing(root));
    return all;
}

void DesktopSessionFileTracker::takeBaseline(const QList<Manifest::KnownHarness> &harnesses)
{
    for (const Manifest::KnownHarness harness : harnesses)
        m_knownPaths.insert(harness, listings(m_source->roots(harness)));
    m_initialized = true;
}

std::optional<DesktopSessionFileTracker::Event>
DesktopSessionFileTracker::poll(Manifest::KnownHarness harness)
{
    if (!m_initialized)
        return std::nullopt;
    const std::vector<std::string> &roots = m_source->roots(harness);
    const std::vector<TranscriptSource::Listing> current = listings(roots);
    const std::vector<TranscriptSource::Listing> known =
        std::exchange(m_knownPaths[harness], current);
    // A path belongs to one root's listing; its size comes from there.
    const auto sizeOf = [&](const std::string &path) -> std::optional<std::int64_t> {
        for (const std::string &root : roots) {
            if (const auto size = m_source->size(root, path))
                return size;
        }
        return std::nullopt;
    };

    const auto pendingEntry = m_pending.constFind(harness);
    if (pendingEntry != m_pending.constEnd()) {
        const PendingSession pendingSession = *pendingEntry;
        const auto now = m_clock->now();
        if (sizeOf(pendingSession.path.toStdString()).value_or(-1) > pendingSession.initialSize) {
            m_pending.remove(harness);
            return Event::SessionReady;
        }
        if (now < pendingSession.expiresAt)
            return std::nullopt;
        m_pending.remove(harness);
        return Event::SessionReady;
    }

    // Of each root the first path of the current listing missing from the known one; of those
    // the first by path.
    const std::string *found = nullptr;
    for (std::size_t at = 0; at < current.size(); ++at) {
        const TranscriptSource::Listing unknown;
        const TranscriptSource::Listing &before = at < known.size() ? known[at] : unknown;
        // The same version: the same paths, none new.
        if (current[at].version != 0 && current[at].version == before.version)
            continue;
        // Both lists are sorted.
        const std::vector<std::string> &knownPaths = pathsOf(before);
        auto previous = knownPaths.begin();
        for (const std::string &path : pathsOf(current[at])) {
            previous = std::lower_bound(previous, knownPaths.end(), path);
            if (previous == knownPaths.end() || *previous != path) {
                if (!found || path < *found)
                    found = &path;
                break;
            }
        }
    }
    if (!found)
        return std::nullopt;
    m_pending.insert(harness, PendingSession{QByteArray::fromStdString(*found),
                                             sizeOf(*found).value_or(0),
                                             m_clock->now() + waitLimit});
    return Event::SessionStarted;
}

} // namespace Usage

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
    const std::string root = m_source->root(harness);
    const TranscriptSource::Listing listing = m_source->listing(root);
    for (const std::string &path : pathsOf(listing))
        files.append(FileState{QByteArray::fromStdString(path),
                               m_source->size(root, path).value_or(0)});
    return files;
}

void DesktopSessionFileTracker::takeBaseline(const QList<Manifest::KnownHarness> &harnesses)
{
    for (const Manifest::KnownHarness harness : harnesses)
        m_knownPaths.insert(harness, m_source->listing(m_source->root(harness)));
    m_initialized = true;
}

std::optional<DesktopSessionFileTracker::Event>
DesktopSessionFileTracker::poll(Manifest::KnownHarness harness)
{
    if (!m_initialized)
        return std::nullopt;
    const std::string root = m_source->root(harness);
    const TranscriptSource::Listing current = m_source->listing(root);
    const TranscriptSource::Listing known = std::exchange(m_knownPaths[harness], current);
    const auto sizeOf = [&](const std::string &path) {
        return m_source->size(root, path).value_or(0);
    };

    const auto pendingEntry = m_pending.constFind(harness);
    if (pendingEntry != m_pending.constEnd()) {
        const PendingSession pendingSession = *pendingEntry;
        const auto now = m_clock->now();
        const std::string path = pendingSession.path.toStdString();
        if (m_source->size(root, path).value_or(-1) > pendingSession.initialSize) {
            m_pending.remove(harness);
            return Event::SessionReady;
        }
        if (now < pendingSession.expiresAt)
            return std::nullopt;
        m_pending.remove(harness);
        return Event::SessionReady;
    }

    // The same version: the same paths, none new.
    if (current.version != 0 && current.version == known.version)
        return std::nullopt;
    // Both lists are sorted: the first path of the current one missing from the known one.
    const std::vector<std::string> &now = pathsOf(current);
    const std::vector<std::string> &before = pathsOf(known);
    auto previous = before.begin();
    for (const std::string &path : now) {
        previous = std::lower_bound(previous, before.end(), path);
        if (previous == before.end() || *previous != path) {
            m_pending.insert(harness,
                             PendingSession{QByteArray::fromStdString(path), sizeOf(path),
                                            m_clock->now() + waitLimit});
            return Event::SessionStarted;
        }
    }
    return std::nullopt;
}

} // namespace Usage

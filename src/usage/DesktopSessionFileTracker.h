#pragma once

#include "platform/Clock.h"
#include "usage/FileState.h"
#include "usage/PendingSession.h"
#include "usage/TranscriptSource.h"

#include <QHash>
#include <QList>

#include <chrono>
#include <optional>

namespace Usage {

// Notices a new conversation of a desktop harness: a transcript file that was not there at the
// previous look. It then waits until that file grows (its first turn is written) or until
// waitLimit has passed, and reports both moments.
//
// Files are met in the transcript source's order (sorted by path), so of several new files the
// first in that order is reported. Between two looks at an unchanged listing version nothing
// is compared, so polling an index costs no more than a lookup.
class DesktopSessionFileTracker
{
public:
    enum class Event
    {
        SessionStarted,
        SessionReady
    };

    static constexpr std::chrono::seconds waitLimit{30};

    // SOURCE outlives the tracker.
    explicit DesktopSessionFileTracker(
        TranscriptSource &source,
        const Platform::Clock &clock = Platform::SystemClock::instance());

    // Every transcript file of the harness now, in the source's order.
    QList<FileState> scan(Manifest::KnownHarness harness) const;

    // Makes every transcript file of the given harnesses known, and starts reporting.
    void takeBaseline(const QList<Manifest::KnownHarness> &harnesses);

    // One detection step; nothing until the baseline is taken.
    std::optional<Event> poll(Manifest::KnownHarness harness);

    const QHash<Manifest::KnownHarness, PendingSession> &pending() const { return m_pending; }

private:
    TranscriptSource *m_source;
    const Platform::Clock *m_clock;
    QHash<Manifest::KnownHarness, TranscriptSource::Listing> m_knownPaths;
    QHash<Manifest::KnownHarness, PendingSession> m_pending;
    bool m_initialized = false;
};

} // namespace Usage

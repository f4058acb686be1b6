#pragma once

#include "platform/Clock.h"
#include "usage/FileState.h"
#include "usage/PendingSession.h"
#include "usage/TranscriptSource.h"

#include <QHash>
#include <QList>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace Usage {

// Notices a new conversation of a desktop harness: a transcript file that was not there at the
// previous look. It then waits until that file grows (its first turn is written) or until
// waitLimit has passed, and reports both moments.
//
// Files are met in the transcript source's order (sorted by path), so of several new files the
// first in that order is reported, whichever of the harness's roots holds it. Between two looks
// at an unchanged listing version nothing is compared, so polling an index costs no more than a
// lookup.
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
    std::vector<TranscriptSource::Listing> listings(const std::vector<std::string> &roots) const;

    TranscriptSource *m_source;
    const Platform::Clock *m_clock;
    // One listing per root.
    QHash<Manifest::KnownHarness, std::vector<TranscriptSource::Listing>> m_knownPaths;
    QHash<Manifest::KnownHarness, PendingSession> m_pending;
    bool m_initialized = false;
};

} // namespace Usage

#pragma once

#include "platform/Clock.h"
#include "platform/HomeDirectory.h"
#include "usage/FileState.h"
#include "usage/PendingSession.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <chrono>
#include <optional>

namespace Usage {

// Notices a new conversation of a desktop harness: a transcript file that was not there at the
// previous look. It then waits until that file grows (its first turn is written) or until
// waitLimit has passed, and reports both moments.
class DesktopSessionFileTracker
{
public:
    enum class Event
    {
        SessionStarted,
        SessionReady
    };

    static constexpr std::chrono::seconds waitLimit{30};

    explicit DesktopSessionFileTracker(
        QString homeDirectory = Platform::homeDirectory(),
        const Platform::Clock &clock = Platform::SystemClock::instance());

    // The transcript folder of a harness, or none for harnesses without transcripts.
    std::optional<QString> root(const QString &harnessId) const;

    // Every transcript file of the harness now, in listing order.
    QList<FileState> scan(const QString &harnessId) const;

    // One detection step; nothing until initialized() is set.
    std::optional<Event> poll(const QString &harnessId);

    // The owner takes the baseline by filling the known paths and then setting initialized.
    QHash<QString, QSet<QString>> &knownPaths() { return m_knownPaths; }
    const QHash<QString, QSet<QString>> &knownPaths() const { return m_knownPaths; }
    const QHash<QString, PendingSession> &pending() const { return m_pending; }
    bool initialized() const { return m_initialized; }
    void setInitialized(bool initialized) { m_initialized = initialized; }

private:
    QString m_home;
    const Platform::Clock *m_clock;
    QHash<QString, QSet<QString>> m_knownPaths;
    QHash<QString, PendingSession> m_pending;
    bool m_initialized = false;
};

} // namespace Usage

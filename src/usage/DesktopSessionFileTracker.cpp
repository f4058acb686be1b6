#include "usage/DesktopSessionFileTracker.h"

#include "usage/TranscriptRoots.h"
#include "usage/TranscriptTree.h"

#include <QFile>

namespace Usage {

DesktopSessionFileTracker::DesktopSessionFileTracker(QString homeDirectory,
                                                     const Platform::Clock &clock)
    : m_home(std::move(homeDirectory))
    , m_clock(&clock)
{}

std::optional<QString> DesktopSessionFileTracker::root(const QString &harnessId) const
{
    return transcriptRoot(m_home, harnessId);
}

QList<FileState> DesktopSessionFileTracker::scan(const QString &harnessId) const
{
    QList<FileState> files;
    const auto folder = root(harnessId);
    if (!folder)
        return files;
    const QByteArray encoded = QFile::encodeName(*folder);
    walkTranscripts(
        std::string_view(encoded.constData(), std::size_t(encoded.size())),
        [&files](const TranscriptFile &file) {
            files.append(FileState{QString::fromUtf8(file.path.data(), qsizetype(file.path.size())),
                                   file.size});
        });
    return files;
}

std::optional<DesktopSessionFileTracker::Event>
DesktopSessionFileTracker::poll(const QString &harnessId)
{
    if (!m_initialized)
        return std::nullopt;
    const QList<FileState> files = scan(harnessId);
    QSet<QString> current;
    current.reserve(files.size());
    for (const FileState &file : files)
        current.insert(file.path);
    const QSet<QString> known = std::exchange(m_knownPaths[harnessId], std::move(current));

    const auto pendingEntry = m_pending.constFind(harnessId);
    if (pendingEntry != m_pending.constEnd()) {
        const PendingSession pendingSession = *pendingEntry;
        const auto now = m_clock->now();
        const auto sameFile =
            std::find_if(files.cbegin(), files.cend(),
                         [&](const FileState &file) { return file.path == pendingSession.path; });
        if (sameFile != files.cend() && sameFile->size > pendingSession.initialSize) {
            m_pending.remove(harnessId);
            return Event::SessionReady;
        }
        if (now < pendingSession.expiresAt)
            return std::nullopt;
        m_pending.remove(harnessId);
        return Event::SessionReady;
    }

    for (const FileState &file : files) {
        if (!known.contains(file.path)) {
            m_pending.insert(harnessId,
                             PendingSession{file.path, file.size, m_clock->now() + waitLimit});
            return Event::SessionStarted;
        }
    }
    return std::nullopt;
}

} // namespace Usage

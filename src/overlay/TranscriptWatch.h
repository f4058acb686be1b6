#pragma once

#include <QByteArray>
#include <QObject>

#include <sys/types.h>

#include <memory>

class QSocketNotifier;

namespace Overlay {

// Tells when one transcript file is written to, and when it is deleted or renamed away.
// inotify, read on the thread that made the watch (the main thread). The descriptor is closed
// only after the notifier is switched off, so no event is ever read from a closed descriptor.
class TranscriptWatch : public QObject
{
    Q_OBJECT

public:
    // Watches `path` (bytes as the file system holds them); see isValid().
    explicit TranscriptWatch(const QByteArray &path, QObject *parent = nullptr);
    ~TranscriptWatch() override;

    // False when the file could not be watched (gone, unreadable, out of watches).
    bool isValid() const { return m_watch >= 0; }
    const QByteArray &path() const { return m_path; }

Q_SIGNALS:
    // Bytes were written to the file (appended or rewritten).
    void modified();
    // The file was deleted or renamed: this watch will not report again.
    void gone();

private:
    void readEvents();
    bool stillSameFile() const;

    QByteArray m_path;
    int m_fd = -1;
    int m_watch = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    bool m_gone = false;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace Overlay

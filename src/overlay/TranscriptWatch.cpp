#include "overlay/TranscriptWatch.h"

#include <QSocketNotifier>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>

namespace Overlay {

namespace {

constexpr uint32_t goneMask = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;

} // namespace

TranscriptWatch::TranscriptWatch(const QByteArray &path, QObject *parent)
    : QObject(parent)
    , m_path(path)
{
    struct stat info{};
    if (::stat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return;
    m_device = info.st_dev;
    m_inode = info.st_ino;
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return;
    // IN_ATTRIB catches an unlink while the writer still holds the file open: the inode lives
    // on, so IN_DELETE_SELF would come only when the writer closes it.
    m_watch = ::inotify_add_watch(m_fd, path.constData(),
                                  IN_MODIFY | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF);
    if (m_watch < 0) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &TranscriptWatch::readEvents);
}

TranscriptWatch::~TranscriptWatch()
{
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd); // closing drops the watch with it
}

void TranscriptWatch::readEvents()
{
    bool modified = false;
    bool gone = false;
    alignas(inotify_event) std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer.data(), buffer.size());
        if (length <= 0)
            break;
        for (ssize_t offset = 0; offset < length;) {
            inotify_event event{};
            std::memcpy(&event, buffer.data() + offset, sizeof event);
            offset += ssize_t(sizeof event + event.len);
            if (event.mask & goneMask)
                gone = true;
            else if (event.mask & IN_MODIFY)
                modified = true;
            else if ((event.mask & IN_ATTRIB) && !stillSameFile())
                gone = true;
            if (event.mask & IN_Q_OVERFLOW)
                modified = true; // something happened; reading again is always safe
        }
    }
    if (m_gone)
        return;
    if (gone) {
        m_gone = true;
        m_notifier->setEnabled(false);
        Q_EMIT this->gone();
    } else if (modified) {
        Q_EMIT this->modified();
    }
}

bool TranscriptWatch::stillSameFile() const
{
    struct stat info{};
    return ::stat(m_path.constData(), &info) == 0 && info.st_dev == m_device
           && info.st_ino == m_inode;
}

} // namespace Overlay

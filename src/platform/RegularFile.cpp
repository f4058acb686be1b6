#include "platform/RegularFile.h"

#include <QFile>
#include <QScopeGuard>

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

std::optional<QByteArray> readRegularFile(const QString &path, qint64 limit)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    const auto closing = qScopeGuard([fd] { ::close(fd); });

    struct stat status{};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > limit)
        return std::nullopt;

    // The size can change between fstat and the reads; read one byte past the limit to see it.
    QByteArray contents;
    contents.resize(std::min<qint64>(status.st_size, limit) + 1);
    qint64 filled = 0;
    while (true) {
        if (filled == contents.size()) {
            if (filled > limit)
                return std::nullopt;
            contents.resize(std::min<qint64>(contents.size() * 2, limit + 1));
        }
        const ssize_t got = ::read(fd, contents.data() + filled,
                                   static_cast<std::size_t>(contents.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        filled += got;
    }
    if (filled > limit)
        return std::nullopt;
    contents.truncate(filled);
    return contents;
}

} // namespace Platform

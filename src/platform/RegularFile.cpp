#include "platform/RegularFile.h"

#include "platform/Log.h"

#include <QFile>
#include <QScopeGuard>

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {
std::nullopt_t tooLarge(const QString &path, qint64 limit)
{
    qCWarning(lcPlatform, "Not reading %s: larger than %lld bytes", qUtf8Printable(path), limit);
    return std::nullopt;
}
} // namespace

std::optional<QByteArray> readRegularFile(const QString &path, qint64 limit)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        // An absent file is an answer callers expect (nothing installed yet); anything else
        // is a failure worth seeing.
        if (const int error = errno; error != ENOENT)
            qCWarning(lcPlatform, "Cannot open %s: %s", qUtf8Printable(path),
                      qUtf8Printable(qt_error_string(error)));
        return std::nullopt;
    }
    const auto closing = qScopeGuard([fd] { ::close(fd); });

    struct stat status{};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        qCWarning(lcPlatform, "Not reading %s: not a regular file", qUtf8Printable(path));
        return std::nullopt;
    }
    if (status.st_size > limit)
        return tooLarge(path, limit);

    // The size can change between fstat and the reads; read one byte past the limit to see it.
    QByteArray contents;
    contents.resize(std::min<qint64>(status.st_size, limit) + 1);
    qint64 filled = 0;
    while (true) {
        if (filled == contents.size()) {
            if (filled > limit)
                return tooLarge(path, limit);
            contents.resize(std::min<qint64>(contents.size() * 2, limit + 1));
        }
        const ssize_t got = ::read(fd, contents.data() + filled,
                                   static_cast<std::size_t>(contents.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            qCWarning(lcPlatform, "Cannot read %s: %s", qUtf8Printable(path),
                      qUtf8Printable(qt_error_string(error)));
            return std::nullopt;
        }
        if (got == 0)
            break;
        filled += got;
    }
    if (filled > limit)
        return tooLarge(path, limit);
    contents.truncate(filled);
    return contents;
}

} // namespace Platform

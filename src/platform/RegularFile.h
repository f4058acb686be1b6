#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace Platform {

// Files in the home folder are written by other programs (or by anybody who could put a link
// there), so a reader must not trust their kind or size: a named pipe would block it for ever
// and a link to /dev/zero would grow its memory without end.
inline constexpr qint64 defaultReadLimit = 4 * 1024 * 1024;

// The contents of `path` when it is a regular file (after links are followed) of at most
// `limit` bytes; nothing when it is missing, unreadable, of another kind or larger. The file
// is opened without blocking, so a pipe or device is refused at once. Any thread.
std::optional<QByteArray> readRegularFile(const QString &path, qint64 limit = defaultReadLimit);

} // namespace Platform

#pragma once

#include <QString>

namespace Platform {

// The current user's home directory: $HOME when it is set and absolute, otherwise the
// password database's entry. Never ends with a slash (except for "/").
QString homeDirectory();

// The same as the file system names it: bytes, which need not be UTF-8 (homeDirectory() then
// holds replacement characters and names no folder). For whatever opens files below it.
QByteArray homePath();

// Expands a leading "~" (alone or followed by "/") against homeDirectory(); other paths are
// returned unchanged.
QString expandTilde(const QString &path);
QString expandTilde(const QString &path, const QString &home);

} // namespace Platform

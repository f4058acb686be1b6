#include "platform/HomeDirectory.h"

#include <QFile>

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace Platform {

namespace {

QByteArray passwordDatabaseHome()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd *result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir && result->pw_dir[0] == '/')
        return QByteArray(result->pw_dir);
    return QByteArrayLiteral("/");
}

QByteArray withoutTrailingSlash(QByteArray path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

} // namespace

QByteArray homePath()
{
    const QByteArray fromEnvironment = qgetenv("HOME");
    if (fromEnvironment.startsWith('/'))
        return withoutTrailingSlash(fromEnvironment);
    return withoutTrailingSlash(passwordDatabaseHome());
}

QString homeDirectory()
{
    return QFile::decodeName(homePath());
}

QString expandTilde(const QString &path, const QString &home)
{
    if (path == QLatin1String("~"))
        return home;
    if (path.startsWith(QLatin1String("~/")))
        return home == QLatin1String("/") ? path.mid(1) : home + path.mid(1);
    return path;
}

QString expandTilde(const QString &path)
{
    return expandTilde(path, homeDirectory());
}

} // namespace Platform

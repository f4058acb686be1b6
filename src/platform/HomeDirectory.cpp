#include "platform/HomeDirectory.h"

#include <QDir>

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace Platform {

namespace {

QString passwordDatabaseHome()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd *result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir && result->pw_dir[0] == '/')
        return QString::fromLocal8Bit(result->pw_dir);
    return QStringLiteral("/");
}

QString withoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

} // namespace

QString homeDirectory()
{
    const QString fromEnvironment = qEnvironmentVariable("HOME");
    if (!fromEnvironment.isEmpty() && QDir::isAbsolutePath(fromEnvironment))
        return withoutTrailingSlash(fromEnvironment);
    return withoutTrailingSlash(passwordDatabaseHome());
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

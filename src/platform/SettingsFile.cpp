#include "platform/SettingsFile.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

QString defaultSettingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' +
           QCoreApplication::organizationName() + u'/' + QCoreApplication::applicationName() +
           QStringLiteral(".conf");
}

QString settingsFileRefusal(const QString &path)
{
    struct stat status{};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return errno == ENOENT ? QString() : qt_error_string(errno);
    if (S_ISLNK(status.st_mode))
        return QStringLiteral("it is a symbolic link");
    if (!S_ISREG(status.st_mode))
        return QStringLiteral("it is not a regular file");
    if (status.st_uid != ::getuid())
        return QStringLiteral("it belongs to another user");
    if (status.st_size > settingsSizeLimit)
        return QStringLiteral("it is larger than %1 bytes").arg(settingsSizeLimit);
    return {};
}

std::unique_ptr<QSettings> openSettings(const QString &path)
{
    const QString refusal = settingsFileRefusal(path);
    if (refusal.isEmpty())
        return std::make_unique<QSettings>(path, QSettings::IniFormat);
    qCWarning(lcPlatform).noquote() << "Not using the settings file" << path << "because"
                                    << refusal << "- settings are kept in memory until the end";
    // No file can be made below /dev/null: nothing is read, every write fails, and the values
    // set stay in the object's memory.
    return std::make_unique<QSettings>(QStringLiteral("/dev/null/settings.conf"),
                                       QSettings::IniFormat);
}

} // namespace Platform

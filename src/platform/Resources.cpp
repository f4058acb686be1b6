#include "platform/Resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace Platform {

namespace Resources {

namespace {
QString &overrideDirectory()
{
    static QString value;
    return value;
}
} // namespace

QString directory()
{
    if (!overrideDirectory().isEmpty())
        return overrideDirectory();
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../share/orvane"));
}

QString path(const QString &name, const QString &extension)
{
    const QString candidate = directory() + QLatin1Char('/') + name + QLatin1Char('.') + extension;
    const QFileInfo info(candidate);
    return info.isFile() ? info.absoluteFilePath() : QString();
}

void setDirectoryOverride(const QString &directory)
{
    overrideDirectory() = directory;
}

} // namespace Resources

} // namespace Platform

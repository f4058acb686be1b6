#include "platform/DesktopEntry.h"

#include "platform/HomeDirectory.h"
#include "platform/Log.h"
#include "platform/RegularFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>

namespace Platform {

namespace {

// The escapes a desktop entry's string values may hold.
QString unescaped(QStringView value)
{
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != u'\\' || i + 1 == value.size()) {
            result.append(c);
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case u's':
            result.append(u' ');
            break;
        case u'n':
            result.append(u'\n');
            break;
        case u't':
            result.append(u'\t');
            break;
        case u'r':
            result.append(u'\r');
            break;
        case u'\\':
            result.append(u'\\');
            break;
        default:
            result.append(c);
            result.append(next);
            break;
        }
    }
    return result;
}

QString dataHome()
{
    const QString configured = qEnvironmentVariable("XDG_DATA_HOME");
    if (QDir::isAbsolutePath(configured))
        return configured;
    return expandTilde(QStringLiteral("~/.local/share"));
}

QStringList dataDirectories()
{
    QString configured = qEnvironmentVariable("XDG_DATA_DIRS");
    if (configured.isEmpty())
        configured = QStringLiteral("/usr/local/share:/usr/share");
    QStringList directories;
    for (const QString &directory : configured.split(u':', Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(directory))
            directories.append(directory);
    }
    return directories;
}

QString withoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

} // namespace

std::optional<DesktopEntry> DesktopEntry::read(const QString &path)
{
    const auto contents = readRegularFile(path, 1024 * 1024);
    if (!contents)
        return std::nullopt;
    return parse(path, *contents);
}

QString DesktopEntry::execCommand() const
{
    QString command;
    command.reserve(m_exec.size());
    for (qsizetype i = 0; i < m_exec.size(); ++i) {
        if (m_exec.at(i) != u'%' || i + 1 == m_exec.size()) {
            command.append(m_exec.at(i));
            continue;
        }
        const QChar code = m_exec.at(++i);
        if (code == u'%')
            command.append(u'%');
        // Every other code stands for something this launch does not pass.
    }
    return command.simplified();
}

std::optional<DesktopEntry> DesktopEntry::parse(const QString &path, const QByteArray &contents)
{
    DesktopEntry entry;
    entry.m_path = path;
    bool inMainGroup = false;
    bool sawMainGroup = false;
    const QString text = QString::fromUtf8(contents);
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            // Only the first group's keys describe the application; actions follow it.
            if (sawMainGroup)
                break;
            inMainGroup = line == u"[Desktop Entry]";
            sawMainGroup = inMainGroup;
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        const QStringView key = line.left(equals).trimmed();
        const QStringView value = line.mid(equals + 1).trimmed();
        if (key == u"Name")
            entry.m_name = unescaped(value);
        else if (key == u"StartupWMClass")
            entry.m_startupWmClass = unescaped(value);
        else if (key == u"TryExec")
            entry.m_tryExec = unescaped(value);
        else if (key == u"Exec")
            entry.m_exec = unescaped(value);
        else if (key == u"Hidden")
            entry.m_hidden = value == u"true";
    }
    if (!sawMainGroup)
        return std::nullopt;
    return entry;
}

bool DesktopEntry::isFor(const QString &applicationName) const
{
    return m_name == applicationName || m_startupWmClass == applicationName;
}

bool DesktopEntry::isUsable() const
{
    if (m_hidden)
        return false;
    if (m_tryExec.isEmpty())
        return true;
    if (QDir::isAbsolutePath(m_tryExec)) {
        const QFileInfo program(m_tryExec);
        return program.isFile() && program.isExecutable();
    }
    return !QStandardPaths::findExecutable(m_tryExec).isEmpty();
}

QString desktopFileId(const QString &path, const QStringList &directories)
{
    for (const QString &directory : directories) {
        const QString prefix = withoutTrailingSlash(directory) + u'/';
        if (path.startsWith(prefix))
            return path.mid(prefix.size()).replace(u'/', u'-');
    }
    return QFileInfo(path).fileName();
}

QStringList applicationDirectories()
{
    QStringList directories{withoutTrailingSlash(dataHome()) + QStringLiteral("/applications")};
    for (const QString &directory : dataDirectories())
        directories.append(withoutTrailingSlash(directory) + QStringLiteral("/applications"));
    return directories;
}

std::optional<QString> findDesktopEntry(const QString &applicationName,
                                        const QStringList &directories)
{
    QSet<QString> seenIds;
    for (const QString &directory : directories) {
        const QDir root(directory);
        QStringList relativePaths;
        QDirIterator files(directory, {QStringLiteral("*.desktop")}, QDir::Files,
                           QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (files.hasNext())
            relativePaths.append(root.relativeFilePath(files.next()));
        std::sort(relativePaths.begin(), relativePaths.end());
        for (const QString &relativePath : std::as_const(relativePaths)) {
            // "kde/app.desktop" has the id "kde-app.desktop".
            QString id = relativePath;
            id.replace(u'/', u'-');
            if (seenIds.contains(id))
                continue;
            seenIds.insert(id);
            const QString path = root.filePath(relativePath);
            const auto entry = DesktopEntry::read(path);
            if (entry && entry->isFor(applicationName) && entry->isUsable()) {
                qCDebug(lcPlatform, "%s is started from %s", qUtf8Printable(applicationName),
                        qUtf8Printable(path));
                return path;
            }
        }
    }
    qCDebug(lcPlatform, "No desktop entry for %s in %s", qUtf8Printable(applicationName),
            qUtf8Printable(directories.join(u':')));
    return std::nullopt;
}

std::optional<QString> findDesktopEntry(const QString &applicationName)
{
    return findDesktopEntry(applicationName, applicationDirectories());
}

} // namespace Platform

#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace Platform {

// The keys of a desktop entry file's "[Desktop Entry]" group that tell which application it
// starts and whether it may be used. Localised variants ("Name[de]") are not read.
class DesktopEntry
{
public:
    // Nothing when the file cannot be read or has no "[Desktop Entry]" group.
    static std::optional<DesktopEntry> read(const QString &path);
    static std::optional<DesktopEntry> parse(const QString &path, const QByteArray &contents);

    const QString &path() const { return m_path; }
    const QString &name() const { return m_name; }
    const QString &startupWmClass() const { return m_startupWmClass; }
    const QString &tryExec() const { return m_tryExec; }
    const QString &exec() const { return m_exec; }

    // The Exec line as a command for a POSIX shell: its field codes (%f, %U, %i, ...) are left
    // out, since the application is started without files or addresses, and %% becomes %.
    QString execCommand() const;
    bool isHidden() const { return m_hidden; }

    // Whether the entry is named `applicationName` or its windows carry that class.
    bool isFor(const QString &applicationName) const;

    // Not deleted (Hidden) and, when it names a TryExec program, that program exists: an
    // absolute path that is an executable file, or a name found in PATH.
    bool isUsable() const;

private:
    QString m_path;
    QString m_name;
    QString m_startupWmClass;
    QString m_tryExec;
    QString m_exec;
    bool m_hidden = false;
};

// Where desktop entries live, most important first: $XDG_DATA_HOME (default
// ~/.local/share), then each of $XDG_DATA_DIRS (default /usr/local/share:/usr/share), each
// with "/applications" appended. Relative settings are ignored, as the base-directory rules
// require.
QStringList applicationDirectories();

// The desktop-file id of the entry at `path`: its path below the first of `directories` that
// holds it, with "/" turned into "-" ("kde/app.desktop" is "kde-app.desktop"); the file name
// when none holds it.
QString desktopFileId(const QString &path, const QStringList &directories);

// The first usable entry for `applicationName` in `directories`, in their order (files of
// one folder, its subfolders included, by name). An entry hides the entries with the same
// desktop-file id in later folders even when it is itself not usable, so a user's
// Hidden=true copy removes a system-wide one.
std::optional<QString> findDesktopEntry(const QString &applicationName);
std::optional<QString> findDesktopEntry(const QString &applicationName,
                                        const QStringList &directories);

} // namespace Platform

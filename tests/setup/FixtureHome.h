#pragma once

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// Skips the running test, with the reason, when a program it needs is not installed here
// (scripts/dev installs them all, so CI runs every test).
#define SKIP_UNLESS_INSTALLED(program)                                                             \
    do {                                                                                           \
        if (QStandardPaths::findExecutable(program).isEmpty())                                     \
            QSKIP(qPrintable(QStringLiteral("%1 is not installed on this machine").arg(program))); \
    } while (false)

// A throw-away home whose bash, zsh and dash login start-up files print a greeting in colour after a
// window-title sequence and put the home's bin/ first in PATH (bash's only in interactive shells,
// as Debian's .bashrc does). While it lives, HOME, SHELL and TMPDIR point into it; its name has a
// space in it.
class FixtureHome
{
public:
    static constexpr auto kGreeting = "Hello from the fixture shell";

    // `systemPath`: whether PATH goes on with the system's directories after bin/.
    explicit FixtureHome(const QString &shell = QStringLiteral("bash"), bool systemPath = true)
    {
        const QByteArray greet =
            QByteArray("printf '\\033]0;fixture\\007\\033[1;32m") + kGreeting + "\\033[0m\\n'\n";
        const QByteArray rc = QByteArray("export PATH=\"$HOME/bin") +
                              (systemPath ? ":/usr/local/bin:/usr/bin:/bin\"\n" : "\"\n");
        write(QStringLiteral(".bash_profile"), greet + ". \"$HOME/.bashrc\"\n");
        write(QStringLiteral(".bashrc"), "case $- in *i*) ;; *) return ;; esac\n" + rc);
        write(QStringLiteral(".zprofile"), greet);
        write(QStringLiteral(".zshrc"), rc);
        write(QStringLiteral(".profile"), greet + rc); // dash's
        for (const auto &[name, value] : {std::pair{"HOME", path()},
                                          {"SHELL", QStandardPaths::findExecutable(shell)},
                                          {"TMPDIR", path()}}) {
            m_saved.append({name, qgetenv(name)}); // null when unset
            qputenv(name, QFile::encodeName(value));
        }
    }
    ~FixtureHome()
    {
        for (const auto &[name, value] : m_saved)
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }

    QString path(const QString &relative = {}) const { return m_root.filePath(relative); }
    QByteArray read(const QString &relative) const
    {
        QFile file(path(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void write(const QString &relative, const QByteArray &contents, bool executable = false) const
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        QFile file(path(relative));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
        QVERIFY(!executable || file.setPermissions(file.permissions() | QFile::ExeOwner));
    }

    // A bin/ program that records its arguments for arguments(name), then runs `body`.
    void program(const QString &name, const QByteArray &body) const
    {
        write(u"bin/" + name,
              "#!/bin/sh\nPATH=/usr/bin:/bin\nprintf '%s\\0' \"$@\" > \"$HOME/" + name.toUtf8() +
                  ".args\"\n" + body + '\n',
              true);
    }
    // The arguments of the program's last run; none when it never ran.
    QStringList arguments(const QString &name) const
    {
        QStringList list = QString::fromUtf8(read(name + u".args")).split(QChar());
        list.removeLast();
        return list;
    }

private:
    QTemporaryDir m_root{QDir::tempPath() + QStringLiteral("/fixture home-XXXXXX")};
    QList<std::pair<const char *, QByteArray>> m_saved;
};

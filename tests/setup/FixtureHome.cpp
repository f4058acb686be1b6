#include "FixtureHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

std::optional<QByteArray> environmentValue(const char *name)
{
    if (!qEnvironmentVariableIsSet(name))
        return std::nullopt;
    return qgetenv(name);
}

void restoreEnvironment(const char *name, const std::optional<QByteArray> &value)
{
    if (value)
        qputenv(name, *value);
    else
        qunsetenv(name);
}

// Title, colour on, greeting, colour off: what many users' start-up files print.
constexpr auto kGreetingCommand =
    R"(printf '\033]0;fixture shell\007\033[1;32mHello from the fixture shell\033[0m\n')";

} // namespace

FixtureHome::FixtureHome(Shell shell, bool systemPath, Startup startup)
    : m_shell(shell)
{
    if (!m_root.isValid())
        return;
    QDir(m_root.path()).mkpath(QStringLiteral("home/bin"));
    QDir(m_root.path()).mkpath(QStringLiteral("tmp dir"));

    const QByteArray path = systemPath ? "$HOME/bin:/usr/local/bin:/usr/bin:/bin" : "$HOME/bin";
    const QByteArray greet =
        startup == Startup::Noisy ? QByteArray(kGreetingCommand).append('\n') : QByteArray();
    const QByteArray rc = "export PATH=\"" + path + "\"\n";
    // Any other POSIX login shell (the password database's, when SHELL is unset) reads .profile.
    writeFile(QStringLiteral(".profile"), rc);
    if (shell == Shell::Bash) {
        writeFile(QStringLiteral(".bash_profile"), greet + ". \"$HOME/.bashrc\"\n");
        writeFile(QStringLiteral(".bashrc"), rc);
    } else {
        writeFile(QStringLiteral(".zprofile"), greet);
        writeFile(QStringLiteral(".zshrc"), rc);
    }
}

FixtureHome::~FixtureHome()
{
    if (!m_active)
        return;
    restoreEnvironment("HOME", m_savedHome);
    restoreEnvironment("SHELL", m_savedShell);
    restoreEnvironment("TMPDIR", m_savedTmpdir);
}

QString FixtureHome::shellProgram(Shell shell)
{
    return QStandardPaths::findExecutable(shell == Shell::Bash ? QStringLiteral("bash")
                                                               : QStringLiteral("zsh"));
}

bool FixtureHome::isValid() const
{
    return m_root.isValid() && !shellProgram(m_shell).isEmpty();
}

QString FixtureHome::home() const
{
    return m_root.filePath(QStringLiteral("home"));
}

QString FixtureHome::bin() const
{
    return m_root.filePath(QStringLiteral("home/bin"));
}

QString FixtureHome::tempDir() const
{
    return m_root.filePath(QStringLiteral("tmp dir"));
}

QString FixtureHome::filePath(const QString &relative) const
{
    return QDir(home()).filePath(relative);
}

void FixtureHome::activate()
{
    if (!m_active) {
        m_savedHome = environmentValue("HOME");
        m_savedShell = environmentValue("SHELL");
        m_savedTmpdir = environmentValue("TMPDIR");
        m_active = true;
    }
    qputenv("HOME", QFile::encodeName(home()));
    qputenv("SHELL", QFile::encodeName(shellProgram(m_shell)));
    qputenv("TMPDIR", QFile::encodeName(tempDir()));
}

void FixtureHome::writeProgram(const QString &name, const QByteArray &body) const
{
    const QString path = QDir(bin()).filePath(name);
    writeFile(QStringLiteral("bin/") + name, "#!/bin/sh\nPATH=/usr/bin:/bin\n" + body + '\n');
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                    QFile::ReadGroup | QFile::ExeGroup);
}

QByteArray FixtureHome::recordArguments(const QString &name)
{
    return "printf '%s\\0' \"$@\" > \"$HOME/" + name.toUtf8() + ".args\"\n";
}

std::optional<QStringList> FixtureHome::recordedArguments(const QString &name) const
{
    QFile file(filePath(name + QStringLiteral(".args")));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray data = file.readAll();
    QStringList arguments;
    while (!data.isEmpty()) {
        const qsizetype end = data.indexOf('\0');
        arguments.append(QString::fromUtf8(data.left(end)));
        data.remove(0, end < 0 ? data.size() : end + 1);
    }
    return arguments;
}

void FixtureHome::appendToLoginStartup(const QByteArray &text) const
{
    const QString profile =
        m_shell == Shell::Bash ? QStringLiteral(".bash_profile") : QStringLiteral(".zprofile");
    writeFile(profile, readFile(profile) + text + '\n');
}

QByteArray FixtureHome::readFile(const QString &relative) const
{
    QFile file(filePath(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void FixtureHome::writeFile(const QString &relative, const QByteArray &contents) const
{
    const QString path = filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(contents);
}

QString FixtureHome::greeting()
{
    return QStringLiteral("Hello from the fixture shell");
}

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

// A throw-away home directory whose login start-up files behave like a real user's: they print
// a greeting with colour codes and a window-title sequence, and put the home's bin/ first in
// PATH. While it is active, HOME, SHELL and TMPDIR point into it.
class FixtureHome
{
public:
    enum class Shell
    {
        Bash,
        Zsh
    };
    enum class Startup
    {
        Noisy,
        Quiet
    };

    // `systemPath`: whether PATH continues with the system's directories after bin/.
    explicit FixtureHome(Shell shell, bool systemPath = true, Startup startup = Startup::Noisy);
    ~FixtureHome();

    FixtureHome(const FixtureHome &) = delete;
    FixtureHome &operator=(const FixtureHome &) = delete;

    // The shell's program, or empty when it is not installed.
    static QString shellProgram(Shell shell);

    bool isValid() const;
    QString home() const;
    QString bin() const;
    QString tempDir() const; // TMPDIR while active; its name has a space in it
    QString filePath(const QString &relative) const;

    // Sets HOME, SHELL and TMPDIR (restored on destruction).
    void activate();

    // A bin/ program: "#!/bin/sh", a PATH of the system's directories, then `body`.
    void writeProgram(const QString &name, const QByteArray &body) const;
    // Shell text that records the program's arguments for recordedArguments(name).
    static QByteArray recordArguments(const QString &name);
    // Arguments of the last run of a program that used recordArguments, or nothing.
    std::optional<QStringList> recordedArguments(const QString &name) const;

    // Adds shell text at the end of the login start-up file (.bash_profile or .zprofile).
    void appendToLoginStartup(const QByteArray &text) const;

    QByteArray readFile(const QString &relative) const;
    void writeFile(const QString &relative, const QByteArray &contents) const;

    // The greeting line the start-up files print, once cleaned of its escape sequences.
    static QString greeting();

private:
    QTemporaryDir m_root;
    Shell m_shell;
    bool m_active = false;
    std::optional<QByteArray> m_savedHome;
    std::optional<QByteArray> m_savedShell;
    std::optional<QByteArray> m_savedTmpdir;
};

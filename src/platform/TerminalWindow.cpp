#include "platform/TerminalWindow.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <optional>

namespace Platform {

namespace {

struct Command
{
    QString program;
    QStringList arguments;
};

// A name found in PATH or an executable file given by path; empty when neither.
QString resolveProgram(const QString &program)
{
    if (program.contains(u'/')) {
        const QFileInfo file(program);
        return file.isFile() && file.isExecutable() ? file.absoluteFilePath() : QString();
    }
    return QStandardPaths::findExecutable(program);
}

// $TERMINAL usually names a program; some users give it options too ("kitty --single-instance").
std::optional<Command> resolveCandidate(const QString &candidate)
{
    if (const QString program = resolveProgram(candidate); !program.isEmpty())
        return Command{program, {}};
    QStringList words = QProcess::splitCommand(candidate);
    if (words.size() < 2)
        return std::nullopt;
    const QString program = resolveProgram(words.takeFirst());
    if (program.isEmpty())
        return std::nullopt;
    return Command{program, words};
}

} // namespace

QStringList terminalCandidates()
{
    QStringList candidates;
    if (const QString configured = qEnvironmentVariable("TERMINAL").trimmed();
        !configured.isEmpty())
        candidates.append(configured);
    candidates << QStringLiteral("xdg-terminal-exec") << QStringLiteral("x-terminal-emulator")
               << QStringLiteral("gnome-terminal") << QStringLiteral("konsole")
               << QStringLiteral("xfce4-terminal") << QStringLiteral("kitty")
               << QStringLiteral("alacritty") << QStringLiteral("foot") << QStringLiteral("wezterm")
               << QStringLiteral("xterm");
    return candidates;
}

TerminalOpening openTerminalWindow(const QString &workingDirectory)
{
    bool found = false;
    for (const QString &candidate : terminalCandidates()) {
        const auto command = resolveCandidate(candidate);
        if (!command)
            continue;
        found = true;
        if (QProcess::startDetached(command->program, command->arguments, workingDirectory))
            return TerminalOpening::Opened;
    }
    return found ? TerminalOpening::NotStarted : TerminalOpening::NotFound;
}

} // namespace Platform

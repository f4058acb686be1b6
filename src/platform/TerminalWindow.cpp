#include "platform/TerminalWindow.h"

#include "platform/Log.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <unistd.h>

#include <memory>

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

// How a terminal is told what to run instead of its default shell: after "-e" (the
// x-terminal-emulator convention, which $TERMINAL is assumed to follow too) unless it has a
// way of its own.
QStringList commandOption(const QString &program)
{
    const QString name = QFileInfo(program).fileName();
    if (name == u"xdg-terminal-exec" || name == u"kitty" || name == u"foot")
        return {};
    if (name == u"gnome-terminal")
        return {QStringLiteral("--")};
    if (name == u"xfce4-terminal")
        return {QStringLiteral("-x")};
    if (name == u"wezterm")
        return {QStringLiteral("start"), QStringLiteral("--")};
    return {QStringLiteral("-e")};
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

namespace {

// One attempt after another, each on its own process; the state lives until `done` ran.
struct Opening : std::enable_shared_from_this<Opening>
{
    QString workingDirectory;
    std::function<void(TerminalOpening)> done;
    QList<Command> commands;
    qsizetype next = 0;

    void tryNext()
    {
        if (next == commands.size()) {
            finish(TerminalOpening::NotStarted);
            return;
        }
        const Command &command = commands.at(next++);
        // Parentless on purpose: a terminal still running when the program quits must not be
        // killed with it, so the process object is only let go once the terminal has ended.
        auto *process = new QProcess;
        process->setProgram(command.program);
        process->setArguments(command.arguments);
        process->setWorkingDirectory(workingDirectory);
        // A terminal's own messages are not this program's to show.
        process->setStandardInputFile(QProcess::nullDevice());
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        // A session of its own, so the window does not close with the terminal this program
        // may have been started from.
        process->setChildProcessModifier([] { ::setsid(); });

        auto decided = std::make_shared<bool>(false);
        auto self = shared_from_this();
        auto grace = std::make_shared<QTimer>();
        grace->setSingleShot(true);
        QObject::connect(grace.get(), &QTimer::timeout, process, [self, decided] {
            if (std::exchange(*decided, true))
                return;
            self->finish(TerminalOpening::Opened);
        });
        QObject::connect(process, &QProcess::finished, process,
                         [self, decided, grace, process](int status, QProcess::ExitStatus how) {
                             grace->stop();
                             process->deleteLater();
                             if (std::exchange(*decided, true))
                                 return;
                             if (how == QProcess::NormalExit && status == 0) {
                                 self->finish(TerminalOpening::Opened);
                                 return;
                             }
                             if (how == QProcess::CrashExit)
                                 qCWarning(lcPlatform, "Terminal %s crashed",
                                           qUtf8Printable(process->program()));
                             else
                                 qCWarning(lcPlatform, "Terminal %s failed with exit status %d",
                                           qUtf8Printable(process->program()), status);
                             self->tryNext();
                         });
        QObject::connect(process, &QProcess::errorOccurred, process,
                         [self, decided, grace, process](QProcess::ProcessError error) {
                             if (error != QProcess::FailedToStart)
                                 return;
                             qCWarning(lcPlatform, "Terminal %s did not start: %s",
                                       qUtf8Printable(process->program()),
                                       qUtf8Printable(process->errorString()));
                             grace->stop();
                             process->deleteLater();
                             if (!std::exchange(*decided, true))
                                 self->tryNext();
                         });
        grace->start(terminalOpenerGrace);
        process->start();
    }

    void finish(TerminalOpening outcome)
    {
        // The last one tried is the one that opened.
        if (outcome == TerminalOpening::Opened)
            qCDebug(lcPlatform, "Terminal %s opened", qUtf8Printable(commands.at(next - 1).program));
        else if (outcome == TerminalOpening::NotFound)
            qCWarning(lcPlatform, "No terminal program found; set TERMINAL to one");
        else
            qCWarning(lcPlatform, "No terminal program opened a window");
        QTimer::singleShot(0, [done = std::move(done), outcome] { done(outcome); });
    }
};

} // namespace

void openTerminalWindow(const QString &workingDirectory, const QStringList &command,
                        std::function<void(TerminalOpening)> done, const QStringList &candidates)
{
    auto opening = std::make_shared<Opening>();
    opening->workingDirectory = workingDirectory;
    opening->done = std::move(done);
    for (const QString &candidate : candidates.isEmpty() ? terminalCandidates() : candidates) {
        if (auto terminal = resolveCandidate(candidate)) {
            terminal->arguments += commandOption(terminal->program) + command;
            opening->commands.append(std::move(*terminal));
        }
    }
    if (opening->commands.isEmpty()) {
        opening->finish(TerminalOpening::NotFound);
        return;
    }
    opening->tryNext();
}

} // namespace Platform

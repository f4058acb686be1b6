#include "setup/DesktopLaunchers.h"

#include "platform/DesktopEntry.h"
#include "platform/HomeDirectory.h"
#include "platform/TerminalWindow.h"
#include "setup/ShellRunner.h"

namespace Setup {

namespace {

// The launchers report success or failure only; what the command printed is not used.
void runDiscardingOutput(const LoginShellRunner &run, const QStringList &arguments,
                         Completion<void> done)
{
    run(arguments, [done = std::move(done)](SetupResult<QString> result) {
        if (result)
            done({});
        else
            done(std::unexpected(std::move(result.error())));
    });
}

QStringList orvDesktopCommand(const QString &tool, DesktopLaunchMode mode)
{
    return {QStringLiteral("orv"), tool, QStringLiteral("desktop"), rawValue(mode)};
}

} // namespace

void launchClaudeDesktop(DesktopLaunchMode mode, Completion<void> done, const LoginShellRunner &run)
{
    runDiscardingOutput(run, orvDesktopCommand(QStringLiteral("claude"), mode), std::move(done));
}

void launchCodexDesktop(DesktopLaunchMode mode, Completion<void> done, const LoginShellRunner &run)
{
    runDiscardingOutput(run, orvDesktopCommand(QStringLiteral("codex"), mode), std::move(done));
}

QStringList openCodeLaunchCommand(const std::optional<Platform::DesktopEntry> &entry,
                                  const QString &desktopId)
{
    if (!entry) {
        // Still run through the shell, so a missing application fails the way a failing
        // command does, with a line the launcher screen can show.
        return {QStringLiteral("sh"), QStringLiteral("-c"),
                QStringLiteral("echo 'OpenCode is not installed.'; exit 1")};
    }
    // gtk-launch takes the entry's id, not its path. The application inherits the opener's
    // standard streams and outlives this launch, whose output pipe closes when it ends (the
    // application's next write would kill it): it gets the null device, on every path. The
    // Exec line's program would hold the shell until the application quits, so it runs in the
    // background. The runner's own session keeps it out of this program's process group.
    static const QString opener = QStringLiteral(
        "exec </dev/null >/dev/null 2>&1; "
        "if command -v gio >/dev/null; then exec gio launch \"$1\"; "
        "elif command -v gtk-launch >/dev/null; then exec gtk-launch \"$2\"; "
        "else eval \"$3\" & fi");
    return {QStringLiteral("sh"), QStringLiteral("-c"), opener, QStringLiteral("sh"),
            entry->path(), desktopId, entry->execCommand()};
}

void launchOpenCodeDesktop(Completion<void> done, const LoginShellRunner &run)
{
    const QStringList directories = Platform::applicationDirectories();
    const auto path = Platform::findDesktopEntry(QStringLiteral("OpenCode"), directories);
    const auto entry = path ? Platform::DesktopEntry::read(*path) : std::nullopt;
    runDiscardingOutput(run,
                        openCodeLaunchCommand(entry, path ? Platform::desktopFileId(*path, directories)
                                                          : QString()),
                        std::move(done));
}

void openTerminal(Completion<void> done, const QStringList &openers)
{
    // The user's login shell, as the installer had it, so the commands it put in place are
    // found in the window even when the desktop session never read the login files.
    Platform::openTerminalWindow(
        Platform::homeDirectory(), {userShell(), QStringLiteral("-l")},
        [done = std::move(done)](Platform::TerminalOpening outcome) {
            if (outcome == Platform::TerminalOpening::Opened) {
                done({});
                return;
            }
            const int status = outcome == Platform::TerminalOpening::NotFound ? 127 : 126;
            done(std::unexpected(
                SetupError::exitedWithStatus(status, QStringLiteral("Terminal couldn't be opened."))));
        },
        openers);
}

} // namespace Setup

#include "setup/DesktopLaunchers.h"

#include "platform/DesktopEntry.h"
#include "platform/HomeDirectory.h"
#include "platform/TerminalWindow.h"

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

QStringList openCodeLaunchCommand(const std::optional<QString> &desktopEntry)
{
    if (desktopEntry)
        return {QStringLiteral("gio"), QStringLiteral("launch"), *desktopEntry};
    // Still run through the shell, so a missing application fails the way a failing command
    // does, with a line the launcher screen can show.
    return {QStringLiteral("sh"), QStringLiteral("-c"),
            QStringLiteral("echo 'OpenCode is not installed.'; exit 1")};
}

void launchOpenCodeDesktop(Completion<void> done, const LoginShellRunner &run)
{
    const auto entry = Platform::findDesktopEntry(QStringLiteral("OpenCode"));
    runDiscardingOutput(run, openCodeLaunchCommand(entry), std::move(done));
}

void openTerminal(Completion<void> done, const QStringList &openers)
{
    Platform::openTerminalWindow(
        Platform::homeDirectory(),
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

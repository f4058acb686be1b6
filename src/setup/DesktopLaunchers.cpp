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

SetupResult<void> openTerminal()
{
    switch (Platform::openTerminalWindow(Platform::homeDirectory())) {
    case Platform::TerminalOpening::Opened:
        return {};
    case Platform::TerminalOpening::NotFound:
        return std::unexpected(
            SetupError::exitedWithStatus(127, QStringLiteral("Terminal couldn't be opened.")));
    case Platform::TerminalOpening::NotStarted:
        break;
    }
    return std::unexpected(
        SetupError::exitedWithStatus(126, QStringLiteral("Terminal couldn't be opened.")));
}

} // namespace Setup

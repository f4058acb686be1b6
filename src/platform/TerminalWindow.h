#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

namespace Platform {

enum class TerminalOpening
{
    Opened,     // an opener was started and did not fail
    NotFound,   // none of the known terminal programs is installed
    NotStarted, // some were found, but each failed to start or failed soon after
};

// How long an opener has to fail before it counts as having opened a window. Openers that
// cannot do their job (xdg-terminal-exec with nothing configured, a terminal that cannot
// reach its display) end with an error at once; a working one exits 0 or keeps running.
inline constexpr std::chrono::milliseconds terminalOpenerGrace{1000};

// The terminal programs tried, in order: the user's $TERMINAL, the desktop-neutral openers,
// then the common terminal emulators.
QStringList terminalCandidates();

// Starts the candidates in order, each running `command` (program and arguments) with
// `workingDirectory` as its working directory, until one has opened (see
// terminalOpenerGrace). Their standard streams are the null device. Never blocks: `done` is
// called once, from the calling thread's event loop. `candidates` are program names or paths,
// optionally followed by arguments; empty means terminalCandidates().
void openTerminalWindow(const QString &workingDirectory, const QStringList &command,
                        std::function<void(TerminalOpening)> done,
                        const QStringList &candidates = {});

} // namespace Platform

#pragma once

#include <QString>
#include <QStringList>

namespace Platform {

enum class TerminalOpening
{
    Opened,     // a terminal program was started
    NotFound,   // none of the known terminal programs is installed
    NotStarted, // some were found, but none of them could be started
};

// The terminal programs tried, in order: the user's $TERMINAL, the desktop-neutral openers,
// then the common terminal emulators.
QStringList terminalCandidates();

// Starts the first candidate that can be found and started, detached from this process,
// with `workingDirectory` as its working directory, so the shell of its window starts there.
// Its standard channels are this process's own.
TerminalOpening openTerminalWindow(const QString &workingDirectory);

} // namespace Platform

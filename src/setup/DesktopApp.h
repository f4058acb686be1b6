#pragma once

#include <QStringList>

namespace Platform {
class RunningApplications;
}

namespace Setup {

// The desktop applications the launcher screen starts and watches.
enum class DesktopApp
{
    Claude,
    Codex,
    OpenCode
};

// The names a running copy of `app` goes by: its executable's file name, compared exactly
// and case-sensitively (the command-line tools "claude" and "codex" are not the desktop
// applications).
QStringList applicationNames(DesktopApp app);

// Whether a copy of `app` runs for the current user. Cheap; any thread.
bool isDesktopAppRunning(DesktopApp app);
bool isDesktopAppRunning(DesktopApp app, const Platform::RunningApplications &applications);

// Asks every running copy of `app` to quit (a normal terminate request) and does not wait;
// gives how many were asked.
int terminateDesktopApp(DesktopApp app);
int terminateDesktopApp(DesktopApp app, Platform::RunningApplications &applications);

} // namespace Setup

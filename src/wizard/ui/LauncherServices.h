#pragma once

#include "setup/DesktopApp.h"
#include "wizard/ui/MessageBox.h"

#include <QString>

#include <functional>

class QClipboard;
class QSettings;

namespace Platform {
class Timers;
}

namespace Wizard {

// What the launcher screen reaches outside itself: the clipboard its copy marks write to, the
// settings that remember the dismissed Claude Desktop notice, the timers of its command card,
// the question whether a desktop application is already running, the alerts it asks, whether
// the desktop shows the program's tray icon (without one the launcher offers "Quit"), and what
// the desktop session still needs before the usage pill can show (empty when nothing; each
// screen asks once).
struct LauncherServices
{
    QClipboard *clipboard = nullptr;
    QSettings *settings = nullptr;
    Platform::Timers *timers = nullptr;
    std::function<bool(Setup::DesktopApp)> isDesktopAppRunning;
    MessageBox::Ask ask = MessageBox::ask;
    std::function<bool()> hasTray = nullptr; // unset: as if the icon were shown
    std::function<QString()> sessionNotice = {};
};

} // namespace Wizard

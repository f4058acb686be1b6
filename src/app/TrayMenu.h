#pragma once

#include "platform/Timers.h"

#include <QObject>

#include <chrono>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace Platform {
class Notifier;
}

namespace App {

// The notification-area icon that stands in for a dock icon: it brings the setup window back
// after it was closed, and quits. While the desktop has no notification area, the first close
// of the window says through `notifier` how the program, still running, is found and quit.
class TrayMenu : public QObject
{
    Q_OBJECT

public:
    // How often to look again for a notification area that was not there.
    static constexpr std::chrono::seconds retryInterval{3};

    TrayMenu(Platform::Timers &timers, Platform::Notifier &notifier, QObject *parent = nullptr);
    ~TrayMenu() override;

    // Shows the icon once the desktop has a notification area: now, or as soon as one starts
    // (a panel that comes up after this program, or is restarted before the icon was shown).
    void showWhenAvailable();
    bool isShown() const { return m_icon != nullptr; }

    // The setup window was closed.
    void windowClosed();

    // What the first close says without an icon.
    static QString closedSummary();
    static QString closedBody();

Q_SIGNALS:
    void openRequested();
    void quitRequested();

private:
    bool showIfAvailable();

    Platform::Timers &m_timers;
    Platform::Notifier &m_notifier;
    bool m_told = false;
    std::unique_ptr<Platform::TimerHandle> m_retry;
    QMenu *m_menu = nullptr;
    QSystemTrayIcon *m_icon = nullptr;
};

} // namespace App

#pragma once

#include "platform/Timers.h"

#include <QObject>

#include <chrono>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace App {

// The notification-area icon that stands in for a dock icon: it brings the setup window back
// after it was closed, and quits.
class TrayMenu : public QObject
{
    Q_OBJECT

public:
    // How often to look again for a notification area that was not there.
    static constexpr std::chrono::seconds retryInterval{3};

    explicit TrayMenu(Platform::Timers &timers, QObject *parent = nullptr);
    ~TrayMenu() override;

    // Shows the icon once the desktop has a notification area: now, or as soon as one starts
    // (a panel that comes up after this program, or is restarted before the icon was shown).
    void showWhenAvailable();

Q_SIGNALS:
    void openRequested();
    void quitRequested();

private:
    bool showIfAvailable();

    Platform::Timers &m_timers;
    std::unique_ptr<Platform::TimerHandle> m_retry;
    QMenu *m_menu = nullptr;
    QSystemTrayIcon *m_icon = nullptr;
};

} // namespace App

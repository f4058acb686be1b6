#pragma once

#include <QObject>

class QMenu;
class QSystemTrayIcon;

namespace Platform {
class Notifier;
}

namespace App {

// The notification-area icon that stands in for a dock icon: it brings the setup window back
// after it was closed, and quits. Where the desktop has no notification area, the first close
// of the window says through `notifier` how the program, still running, is found and quit.
class TrayMenu : public QObject
{
    Q_OBJECT

public:
    explicit TrayMenu(Platform::Notifier &notifier, QObject *parent = nullptr);
    ~TrayMenu() override;

    // Shows the icon where the desktop has a notification area.
    void showIfAvailable();
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
    Platform::Notifier &m_notifier;
    bool m_told = false;
    QMenu *m_menu = nullptr;
    QSystemTrayIcon *m_icon = nullptr;
};

} // namespace App

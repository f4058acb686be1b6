#pragma once

#include <QObject>

class QMenu;
class QSystemTrayIcon;

namespace App {

// The notification-area icon that stands in for a dock icon: it brings the setup window back
// after it was closed, and quits.
class TrayMenu : public QObject
{
    Q_OBJECT

public:
    explicit TrayMenu(QObject *parent = nullptr);
    ~TrayMenu() override;

    // Shows the icon where the desktop has a notification area.
    void showIfAvailable();

Q_SIGNALS:
    void openRequested();
    void quitRequested();

private:
    QMenu *m_menu = nullptr;
    QSystemTrayIcon *m_icon = nullptr;
};

} // namespace App

#include "app/TrayMenu.h"

#include "app/AppIcon.h"
#include "app/Log.h"
#include "platform/Notifier.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace App {

TrayMenu::TrayMenu(Platform::Notifier &notifier, QObject *parent)
    : QObject(parent)
    , m_notifier(notifier)
    , m_menu(new QMenu)
{
    QAction *open = m_menu->addAction(tr("Open Orvane"));
    connect(open, &QAction::triggered, this, &TrayMenu::openRequested);
    QAction *quit = m_menu->addAction(tr("Quit"));
    connect(quit, &QAction::triggered, this, &TrayMenu::quitRequested);
}

TrayMenu::~TrayMenu()
{
    delete m_menu;
}

void TrayMenu::showIfAvailable()
{
    if (m_icon)
        return;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        qCDebug(lcApp) << "no notification area: the icon is not shown";
        return;
    }
    m_icon = new QSystemTrayIcon(AppIcon::icon(), this);
    m_icon->setToolTip(QStringLiteral("Orvane"));
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    Q_EMIT openRequested();
            });
    m_icon->show();
}

} // namespace App

namespace App {

QString TrayMenu::closedSummary()
{
    return tr("Orvane is still running");
}

QString TrayMenu::closedBody()
{
    return tr("It keeps running for the usage pill. To quit, open Orvane from the menu and press "
              "Ctrl+Q.");
}

void TrayMenu::windowClosed()
{
    // With an icon to click the program is in plain sight; without one, saying it once is
    // enough.
    if (m_icon || m_told)
        return;
    m_told = true;
    qCDebug(lcApp) << "window closed without a notification area: telling the user once";
    m_notifier.notify(closedSummary(), closedBody());
}

} // namespace App

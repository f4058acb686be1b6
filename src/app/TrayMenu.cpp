#include "app/TrayMenu.h"

#include "app/AppIcon.h"
#include "app/Log.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace App {

TrayMenu::TrayMenu(QObject *parent)
    : QObject(parent)
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

#include "app/TrayMenu.h"

#include "app/AppIcon.h"
#include "app/Log.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace App {

TrayMenu::TrayMenu(Platform::Timers &timers, QObject *parent)
    : QObject(parent)
    , m_timers(timers)
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

void TrayMenu::showWhenAvailable()
{
    if (showIfAvailable() || m_retry)
        return;
    qCDebug(lcApp) << "no notification area yet: looking again every" << retryInterval.count()
                   << "s";
    m_retry = m_timers.repeating(retryInterval, [this] {
        if (showIfAvailable())
            m_retry->stop();
    });
}

bool TrayMenu::showIfAvailable()
{
    if (m_icon)
        return true;
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    qCDebug(lcApp) << "showing the icon in the notification area";
    m_icon = new QSystemTrayIcon(AppIcon::icon(), this);
    m_icon->setToolTip(QStringLiteral("Orvane"));
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    Q_EMIT openRequested();
            });
    m_icon->show();
    return true;
}

} // namespace App

#include "app/TrayMenu.h"

#include "app/AppIcon.h"
#include "app/Log.h"
#include "platform/Notifier.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace App {

TrayMenu::TrayMenu(Platform::Timers &timers, Platform::Notifier &notifier, QObject *parent)
    : QObject(parent)
    , m_timers(timers)
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

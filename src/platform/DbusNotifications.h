#pragma once

#include "platform/DesktopNotifications.h"

#include <QDBusConnection>
#include <QString>

namespace Platform {

// Desktop notifications through the freedesktop notifications service on a D-Bus bus (the
// session bus in the application, a private one in tests). The call is asynchronous, so a slow or
// missing service never holds the event loop; a bus without the service, or no bus at all,
// shows nothing.
class DbusNotifications final : public DesktopNotifications
{
public:
    explicit DbusNotifications(QDBusConnection bus = QDBusConnection::sessionBus(),
                               QString applicationName = QStringLiteral("Orvane"));

    void show(const QString &summary, const QString &body) override;

private:
    QDBusConnection m_bus;
    QString m_applicationName;
};

} // namespace Platform

#include "platform/DbusNotifications.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace Platform {

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

DbusNotifications::DbusNotifications(QDBusConnection bus, QString applicationName)
    : m_bus(std::move(bus))
    , m_applicationName(std::move(applicationName))
{}

void DbusNotifications::show(const QString &summary, const QString &body)
{
    if (!m_bus.isConnected()) {
        qCDebug(lcPlatform, "No D-Bus bus: desktop notification not shown");
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout):
    // the installed icon and desktop entry ("orvane"), no actions, the server's own timeout.
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("orvane")}};
    call << m_applicationName << uint(0) << QStringLiteral("orvane") << summary << body
         << QStringList() << hints << int(-1);
    // The service may be started on demand by the bus; its answer is only looked at for errors.
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [watcher] {
                         // Not a failure of ours: a desktop without the service shows none.
                         const QDBusPendingReply<uint> reply = *watcher;
                         if (reply.isError())
                             qCDebug(lcPlatform, "Desktop notification not shown: %s",
                                     qUtf8Printable(reply.error().message()));
                         watcher->deleteLater();
                     });
}

} // namespace Platform

#include "platform/dbus/FreedesktopNotifier.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace Platform {

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

FreedesktopNotifier::FreedesktopNotifier(QDBusConnection bus)
    : m_bus(std::move(bus))
{}

void FreedesktopNotifier::notify(const QString &summary, const QString &body)
{
    if (!m_bus.isConnected()) {
        qCWarning(lcPlatform, "No session bus to show a notification on: %s",
                  qUtf8Printable(m_bus.lastError().message()));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service,
                                                       QStringLiteral("Notify"));
    // The desktop entry's name lets the desktop show our icon and group our messages.
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("orvane")}};
    call << QStringLiteral("Orvane") << 0u << QStringLiteral("orvane") << summary << body
         << QStringList() << hints << -1;
    // The application holds the watcher until the answer, which may come after this object.
    auto *watcher =
        new QDBusPendingCallWatcher(m_bus.asyncCall(call), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [](QDBusPendingCallWatcher *finished) {
                         const QDBusPendingReply<uint> reply = *finished;
                         if (reply.isError())
                             qCWarning(lcPlatform, "The desktop showed no notification: %s",
                                       qUtf8Printable(reply.error().message()));
                         finished->deleteLater();
                     });
}

} // namespace Platform

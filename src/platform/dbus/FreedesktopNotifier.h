#pragma once

#include "platform/Notifier.h"

#include <QDBusConnection>

namespace Platform {

// Notifications through the desktop's notification service (org.freedesktop.Notifications on
// the session bus), which every common Linux desktop runs. The call does not wait: a bus or
// service that is missing or refuses is logged as a warning and otherwise ignored.
class FreedesktopNotifier final : public Notifier
{
public:
    // `bus`: the session bus unless a test brings its own.
    explicit FreedesktopNotifier(QDBusConnection bus = QDBusConnection::sessionBus());

    void notify(const QString &summary, const QString &body) override;

private:
    QDBusConnection m_bus;
};

} // namespace Platform

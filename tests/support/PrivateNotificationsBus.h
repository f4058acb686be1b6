#pragma once

#include "support/ProcessGroup.h"

#include <QDBusConnection>
#include <QFile>
#include <QObject>
#include <QStandardPaths>
#include <QTemporaryDir>

// What a desktop's notification service receives: each call's summary and body, with the other
// arguments the way the call gave them ("app replaces icon summary|body actions entry timeout").
class StandInNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList received;

public Q_SLOTS:
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints,
                int timeout)
    {
        received << QStringLiteral("%1 %2 %3 %4|%5 %6 %7 %8")
                        .arg(app)
                        .arg(replaces)
                        .arg(icon, summary, body)
                        .arg(actions.size())
                        .arg(hints.value(QStringLiteral("desktop-entry")).toString())
                        .arg(timeout);
        return uint(received.size());
    }
};

// A D-Bus daemon of a test's own that starts no services: only a stand-in answers, or nobody,
// and the session's bus is never touched.
class PrivateNotificationsBus : ProcessGroup
{
public:
    ~PrivateNotificationsBus() override { closeConnections(); }

    // Empty when it started, else why not.
    QString start()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            return QStringLiteral("dbus-daemon is not installed");
        // Every peer may send, own and receive: a policy without the receive rule has the daemon
        // drop its own replies, and the client's Hello then never returns.
        QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return config.errorString();
        config.write(QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                                    "<auth>EXTERNAL</auth><policy context=\"default\">"
                                    "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                                    "<allow own=\"*\"/></policy></busconfig>")
                         .arg(m_dir.path())
                         .toUtf8());
        config.close();
        m_address = readLine(spawn(QStringLiteral("dbus-daemon"),
                                   {QStringLiteral("--config-file=") + config.fileName(),
                                    QStringLiteral("--nofork"), QStringLiteral("--print-address=1")},
                                   QProcessEnvironment::systemEnvironment()));
        return m_address.isEmpty() ? QStringLiteral("dbus-daemon did not report its address") : QString();
    }

    // A new connection to the bus, named NAME in this process.
    QDBusConnection connect(const QString &name)
    {
        m_connections.append(name);
        return QDBusConnection::connectToBus(m_address, name);
    }

    // A connection that serves STANDIN as the desktop's notification service; false if the bus
    // refused it.
    bool serve(StandInNotifications &standIn, const QString &name)
    {
        QDBusConnection service = connect(name);
        return service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &standIn,
                                      QDBusConnection::ExportAllSlots) &&
               service.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }

    // Closes every connection made so far: a stand-in's service goes with its connection.
    void closeConnections()
    {
        for (const QString &name : std::as_const(m_connections))
            QDBusConnection::disconnectFromBus(name);
        m_connections.clear();
    }

private:
    QTemporaryDir m_dir;
    QString m_address;
    QStringList m_connections;
};

#pragma once

#include "CompositorSession.h"
#include "platform/Timers.h"
#include "platform/wayland/GnomeShellMonitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDirIterator>
#include <QRegularExpression>
#include <QStandardPaths>

// GNOME Shell headless on a virtual monitor with XWayland, on a session bus of its own and a
// private stand-in for the system bus (it asks logind there, and gives up without one). The
// program's extension and the tests' driver extension are installed and enabled before it
// starts, as GNOME loads extensions only then; the driver activates windows and reads the screen.
class GnomeShellSession final : public CompositorSession
{
public:
    ~GnomeShellSession() override { QDBusConnection::disconnectFromBus(busName()); }

    QString start() override
    {
        for (const char *program : {"gnome-shell", "dbus-daemon", "Xwayland"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
                return QString::fromLatin1(program) + QStringLiteral(" is not installed");
        prepare(QStringLiteral("GNOME"));
        const QString home = runtimePath(QStringLiteral("home"));
        m_environment.insert(QStringLiteral("HOME"), home);
        m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        m_environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        for (const char *extension : {ORVANE_GNOME_EXTENSION, ORVANE_GNOME_TEST_EXTENSION})
            if (!copyFolder(QString::fromLatin1(extension),
                            home + QStringLiteral("/.local/share/gnome-shell/extensions")))
                return QStringLiteral("cannot install the extensions");
        // The settings in a key file rather than dconf: the extensions on, no welcome tour, no
        // animations to wait for, no banners over the windows.
        m_environment.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("keyfile"));
        QDir().mkpath(home + QStringLiteral("/.config/glib-2.0/settings"));
        QFile settings(home + QStringLiteral("/.config/glib-2.0/settings/keyfile"));
        if (!settings.open(QIODevice::WriteOnly))
            return QStringLiteral("cannot write the settings");
        settings.write(QStringLiteral("[org/gnome/shell]\nenabled-extensions=['%1', 'test@orvane.dev']\n"
                                      "welcome-dialog-last-shown-version='999'\n\n"
                                      "[org/gnome/desktop/interface]\nenable-animations=false\n\n"
                                      "[org/gnome/desktop/notifications]\nshow-banners=false\n")
                           .arg(QLatin1String(Platform::GnomeShellMonitor::extensionUuid))
                           .toUtf8());
        settings.close();

        QString addresses[2];
        for (QString &address : addresses)
            if ((address = startBus()).isEmpty())
                return QStringLiteral("dbus-daemon did not start");
        m_environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), addresses[0]);
        m_environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), addresses[1]);
        m_bus = QDBusConnection::connectToBus(addresses[0], busName());

        // XWayland's displays from :1024 on, as under GDM, clear of the numbers the X11 tests'
        // own servers take.
        m_environment.insert(QStringLiteral("RUNNING_UNDER_GDM"), QStringLiteral("1"));
        const QString log = runtimePath(QStringLiteral("shell.log"));
        QProcess &shell = spawn(
            QStringLiteral("sh"),
            {QStringLiteral("-c"), QStringLiteral("exec gnome-shell \"$@\" >\"%1\" 2>&1").arg(log),
             QStringLiteral("sh"), QStringLiteral("--headless"), QStringLiteral("--wayland"),
             QStringLiteral("--virtual-monitor"), QStringLiteral("%1x%2").arg(kWidth).arg(kHeight),
             QStringLiteral("--wayland-display"), QStringLiteral("wayland-orvane")});
        // Up once the extension answers; XWayland's display is in the log.
        QString display;
        static_cast<void>(QTest::qWaitFor(
            [&] {
                QFile file(log);
                if (file.open(QIODevice::ReadOnly))
                    display = QRegularExpression(QStringLiteral("Using public X11 display (:\\d+)"))
                                  .match(QString::fromUtf8(file.readAll()))
                                  .captured(1);
                return shell.state() != QProcess::Running
                       || (!display.isEmpty()
                           && call(QStringLiteral("/dev/orvane/ActiveWindow"),
                                   QStringLiteral("dev.orvane.ActiveWindow"), QStringLiteral("Current"))
                                      .type() == QDBusMessage::ReplyMessage);
            },
            40'000));
        if (shell.state() != QProcess::Running || display.isEmpty())
            return QStringLiteral("gnome-shell did not start (exit code %1)").arg(shell.exitCode());
        // mutter's XWayland lets in the clients that bring the cookie it wrote.
        QDirIterator cookies(runtimePath(), {QStringLiteral(".mutter-Xwaylandauth.*")},
                             QDir::Files | QDir::Hidden);
        if (cookies.hasNext())
            m_environment.insert(QStringLiteral("XAUTHORITY"), cookies.next());
        started(QStringLiteral("wayland-orvane"), display);
        return {};
    }

    bool focus(const QString &title) override
    {
        const QDBusMessage reply = call(QStringLiteral("/dev/orvane/Test"),
                                        QStringLiteral("dev.orvane.Test"),
                                        QStringLiteral("Activate"), {title});
        return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
    }

    QImage screenshot() override
    {
        const QString path = runtimePath(QStringLiteral("screenshot.png"));
        const QDBusMessage reply = call(QStringLiteral("/dev/orvane/Test"),
                                        QStringLiteral("dev.orvane.Test"),
                                        QStringLiteral("Screenshot"), {path});
        return reply.type() == QDBusMessage::ReplyMessage ? QImage(path) : QImage();
    }

    std::unique_ptr<Platform::ActiveWindowMonitor> monitor() override
    {
        if (!Platform::GnomeShellMonitor::available(m_bus))
            return nullptr;
        return std::make_unique<Platform::GnomeShellMonitor>(m_bus);
    }

private:
    static QString busName() { return QStringLiteral("gnome-shell-session"); }

    QDBusMessage call(const QString &path, const QString &interface, const QString &method,
                      const QVariantList &arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell"),
                                                              path, interface, method);
        message.setArguments(arguments);
        return m_bus.call(message, QDBus::Block, 10'000);
    }

    // Copies the folder `from` into the folder `into`, creating that.
    static bool copyFolder(const QString &from, const QString &into)
    {
        const QString target = into + u'/' + QFileInfo(from).fileName();
        if (!QDir().mkpath(target))
            return false;
        for (const QFileInfo &file : QDir(from).entryInfoList(QDir::Files))
            if (!QFile::copy(file.filePath(), target + u'/' + file.fileName()))
                return false;
        return true;
    }

    QDBusConnection m_bus{QString()};
};

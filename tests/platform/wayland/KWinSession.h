#pragma once

#include "CompositorSession.h"
#include "platform/Timers.h"
#include "platform/wayland/KWinScriptMonitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusArgument>
#include <QDBusUnixFileDescriptor>
#include <QStandardPaths>

#include <unistd.h>

// KWin on its virtual backend with XWayland, on a session bus of its own. Windows are
// activated by a KWin script; the screen is read through KWin's screenshot interface.
class KWinSession final : public CompositorSession
{
public:
    ~KWinSession() override { QDBusConnection::disconnectFromBus(busName()); }

    QString start() override
    {
        for (const char *program : {"kwin_wayland", "dbus-daemon", "Xwayland"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
                return QString::fromLatin1(program) + QStringLiteral(" is not installed");
        prepare(QStringLiteral("KDE"));
        m_environment.insert(QStringLiteral("HOME"), runtimePath());
        m_environment.insert(QStringLiteral("KWIN_SCREENSHOT_NO_PERMISSION_CHECKS"),
                             QStringLiteral("1"));
        const QString address = startBus();
        if (address.isEmpty())
            return QStringLiteral("dbus-daemon did not start");
        m_environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        m_bus = QDBusConnection::connectToBus(address, busName());

        // The installed program carries a file capability that a container's bounding set may
        // lack, and then cannot be started at all; a copy carries none.
        const QString kwin = runtimePath(QStringLiteral("kwin_wayland"));
        if (!QFile::copy(QStandardPaths::findExecutable(QStringLiteral("kwin_wayland")), kwin))
            return QStringLiteral("cannot copy kwin_wayland");
        // KWin starts the programs it is given once XWayland runs, with its display.
        const QString ready = runtimePath(QStringLiteral("ready.sh"));
        QFile script(ready);
        if (!script.open(QIODevice::WriteOnly))
            return QStringLiteral("cannot write the start-up script");
        script.write("#!/bin/sh\nprintf '%s\\n%s\\n' \"$DISPLAY\" \"$XAUTHORITY\" > " +
                     QFile::encodeName(runtimePath(QStringLiteral("display"))) + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess &compositor = spawn(
            kwin, {QStringLiteral("--virtual"), QStringLiteral("--xwayland"),
                   QStringLiteral("--socket"), QStringLiteral("wayland-orvane"),
                   QStringLiteral("--width"), QString::number(kWidth), QStringLiteral("--height"),
                   QString::number(kHeight), QStringLiteral("--no-lockscreen"), ready});
        QStringList lines;
        static_cast<void>(QTest::qWaitFor([&] {
            QFile reported(runtimePath(QStringLiteral("display")));
            if (reported.open(QIODevice::ReadOnly))
                lines = QString::fromUtf8(reported.readAll()).split(u'\n');
            return compositor.state() != QProcess::Running || lines.size() >= 2;
        }, 20'000));
        if (lines.size() < 2 || lines.first().isEmpty())
            return QStringLiteral("kwin_wayland did not start (exit code %1)").arg(compositor.exitCode());
        if (!lines.at(1).isEmpty())
            m_environment.insert(QStringLiteral("XAUTHORITY"), lines.at(1));
        started(QStringLiteral("wayland-orvane"), lines.first());
        return {};
    }

    bool focus(const QString &title) override
    {
        const QString path = runtimePath(QStringLiteral("activate.js"));
        QFile script(path);
        if (!script.open(QIODevice::WriteOnly))
            return false;
        script.write(QStringLiteral(R"(var windows = workspace.windowList ? workspace.windowList() : workspace.clientList();
for (var i = 0; i < windows.length; ++i) {
    if (windows[i].caption !== "%1")
        continue;
    if (workspace.activeWindow !== undefined)
        workspace.activeWindow = windows[i];
    else
        workspace.activeClient = windows[i];
}
)").arg(title).toUtf8());
        script.close();
        // The previous activation's script goes first: KWin loads no two of one name.
        scripting(QStringLiteral("unloadScript"), {QStringLiteral("orvane-test-activate")});
        const QDBusMessage loaded =
            scripting(QStringLiteral("loadScript"), {path, QStringLiteral("orvane-test-activate")});
        return loaded.type() == QDBusMessage::ReplyMessage
               && loaded.arguments().value(0).toInt() >= 0
               && scripting(QStringLiteral("start")).type() == QDBusMessage::ReplyMessage;
    }

    QImage screenshot() override
    {
        // KWin answers with the picture's format and writes its pixels into the pipe.
        int fds[2];
        if (::pipe(fds) != 0)
            return {};
        QDBusMessage capture = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.KWin"), QStringLiteral("/org/kde/KWin/ScreenShot2"),
            QStringLiteral("org.kde.KWin.ScreenShot2"), QStringLiteral("CaptureActiveScreen"));
        capture << QVariantMap() << QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]));
        ::close(fds[1]);
        const QDBusMessage reply = m_bus.call(capture, QDBus::Block, 10'000);
        const QVariantMap meta = qdbus_cast<QVariantMap>(reply.arguments().value(0));
        const int width = meta.value(QStringLiteral("width")).toInt();
        const int height = meta.value(QStringLiteral("height")).toInt();
        const int stride = meta.value(QStringLiteral("stride")).toInt();
        QByteArray data(qsizetype(stride) * height, Qt::Uninitialized);
        qsizetype got = 0;
        for (ssize_t part = 1; reply.type() == QDBusMessage::ReplyMessage && got < data.size() && part > 0;
             got += part)
            part = ::read(fds[0], data.data() + got, std::size_t(data.size() - got));
        ::close(fds[0]);
        if (data.isEmpty() || got < data.size())
            return {};
        return QImage(reinterpret_cast<const uchar *>(data.constData()), width, height, stride,
                      QImage::Format(meta.value(QStringLiteral("format")).toInt()))
            .copy();
    }

    std::unique_ptr<Platform::ActiveWindowMonitor> monitor() override
    {
        if (!Platform::KWinScriptMonitor::available(m_bus))
            return nullptr;
        // Beside the program's own, under a name of its own.
        return std::make_unique<Platform::KWinScriptMonitor>(m_bus, Platform::QtTimers::instance(),
                                                             QStringLiteral("orvane-test-monitor"));
    }

private:
    static QString busName() { return QStringLiteral("kwin-session"); }

    QDBusMessage scripting(const QString &method, const QVariantList &arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
            QStringLiteral("org.kde.kwin.Scripting"), method);
        message.setArguments(arguments);
        return m_bus.call(message, QDBus::Block, 10'000);
    }

    QDBusConnection m_bus{QString()};
};

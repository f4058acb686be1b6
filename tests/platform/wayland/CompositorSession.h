#pragma once

#include "platform/ActiveWindowMonitor.h"
#include "platform/Timers.h"
#include "platform/wayland/GnomeShellMonitor.h"
#include "platform/wayland/KWinScriptMonitor.h"
#include "platform/wayland/WlrToplevelMonitor.h"
#include "support/ProcessGroup.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <unistd.h>

// A headless Wayland compositor with XWayland for one test program, and what a test does
// through it. Every compositor runs in a runtime folder of its own, on session buses of its own;
// its programs see none of the developer's own session.
// - sway: the headless backend with the pixman renderer, windows in tabs (the focused one fills
//   the screen), driven through swaymsg; grim reads the screen.
// - kwin: the virtual backend; windows are activated by a KWin script, the screen is read through
//   KWin's screenshot interface.
// - gnome-shell: headless on a virtual monitor, with a stand-in for the system bus (it asks
//   logind there). The program's extension and the tests' driver extension (it activates windows
//   and reads the screen) are enabled before it starts, as GNOME loads extensions only then.
class CompositorSession : public ProcessGroup
{
public:
    static constexpr int kWidth = 1280;
    static constexpr int kHeight = 800;

    explicit CompositorSession(QString name)
        : m_name(std::move(name))
    {}
    ~CompositorSession() override { QDBusConnection::disconnectFromBus(m_name); }

    // Starts the compositor: empty, or why it cannot run here (the suite then skips).
    QString start()
    {
        const QHash<QString, QStringList> needs{
            {u"sway"_qs, {u"sway"_qs, u"swaymsg"_qs, u"grim"_qs}},
            {u"kwin"_qs, {u"kwin_wayland"_qs, u"dbus-daemon"_qs}},
            {u"gnome-shell"_qs, {u"gnome-shell"_qs, u"dbus-daemon"_qs}}};
        if (!needs.contains(m_name))
            return u"ORVANE_TEST_COMPOSITOR names no compositor this test knows"_qs;
        for (const QString &program : needs[m_name] + QStringList{u"Xwayland"_qs})
            if (QStandardPaths::findExecutable(program).isEmpty())
                return program + u" is not installed"_qs;
        QFile(runtimePath()).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "QT_QPA_PLATFORM",
                                 "DBUS_SESSION_BUS_ADDRESS", "SWAYSOCK", "XDG_SESSION_TYPE"})
            m_environment.remove(QString::fromLatin1(name));
        m_environment.insert(u"XDG_RUNTIME_DIR"_qs, runtimePath());
        m_environment.insert(u"XDG_CURRENT_DESKTOP"_qs, m_name == u"sway"_qs   ? m_name
                                                        : m_name == u"kwin"_qs ? u"KDE"_qs
                                                                               : u"GNOME"_qs);
        m_environment.insert(u"HOME"_qs, runtimePath());
        if (m_name != u"sway"_qs) {
            QString addresses[2];
            for (QString &address : addresses)
                if ((address = startBus()).isEmpty())
                    return u"dbus-daemon did not start"_qs;
            m_environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_qs, addresses[0]);
            m_environment.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_qs, addresses[1]);
            m_bus = QDBusConnection::connectToBus(addresses[0], m_name);
        }
        // Once XWayland runs, sway and KWin start this with the session's displays.
        QFile ready(runtimePath(u"ready.sh"_qs));
        if (!ready.open(QIODevice::WriteOnly))
            return u"cannot write the start-up script"_qs;
        ready.write(
            "#!/bin/sh\n" +
            QByteArray(::getuid() == 0 && m_name == u"sway"_qs ? "xhost +si:localuser:root\n"
                                                               : "") +
            "printf '%s\\n' \"$DISPLAY\" \"$XAUTHORITY\" \"$WAYLAND_DISPLAY\" \"$SWAYSOCK\" > " +
            QFile::encodeName(runtimePath(u"displays"_qs)) + "\n");
        ready.close();
        ready.setPermissions(ready.permissions() | QFile::ExeOwner | QFile::ExeOther);
        const QString failure = m_name == u"sway"_qs   ? startSway()
                                : m_name == u"kwin"_qs ? startKWin()
                                                       : startGnomeShell();
        if (!failure.isEmpty())
            return failure;
        QProcess &compositor = *m_compositor;
        QStringList displays; // DISPLAY, XAUTHORITY, WAYLAND_DISPLAY, SWAYSOCK
        static_cast<void>(QTest::qWaitFor(
            [&] {
                QFile reported(runtimePath(u"displays"_qs));
                if (m_name == u"gnome-shell"_qs)
                    displays = gnomeShellDisplays();
                else if (reported.open(QIODevice::ReadOnly))
                    displays = QString::fromUtf8(reported.readAll()).split(u'\n');
                return compositor.state() != QProcess::Running || displays.size() > 4;
            },
            40'000));
        if (compositor.state() != QProcess::Running || displays.size() <= 4 ||
            displays[0].isEmpty())
            return u"%1 did not start (exit code %2)"_qs.arg(m_name).arg(compositor.exitCode());
        // Clients find the compositor by its socket's full path and XWayland by its cookie; sway's
        // keep runtime files of their own user apart from nobody's.
        for (const auto &[name, value] : {std::pair{u"DISPLAY"_qs, displays[0]},
                                          {u"XAUTHORITY"_qs, displays[1]},
                                          {u"WAYLAND_DISPLAY"_qs, runtimePath(displays[2])},
                                          {u"SWAYSOCK"_qs, displays[3]}})
            if (!value.isEmpty())
                m_environment.insert(name, value);
        m_environment.insert(u"XDG_SESSION_TYPE"_qs, u"wayland"_qs);
        if (m_name == u"sway"_qs)
            m_environment.insert(u"XDG_RUNTIME_DIR"_qs, m_clientRuntime.path());
        return {};
    }

    // Gives the focus to the window titled `title` through the compositor's own means.
    bool focus(const QString &title)
    {
        if (m_name == u"sway"_qs)
            return run(u"swaymsg"_qs, {u"[title=\"^%1$\"] focus"_qs.arg(title)}).has_value();
        if (m_name == u"gnome-shell"_qs) {
            const QDBusMessage reply = call(u"org.gnome.Shell"_qs, u"/dev/orvane/Test"_qs,
                                            u"dev.orvane.Test.Activate"_qs, {title});
            return reply.type() == QDBusMessage::ReplyMessage &&
                   reply.arguments().value(0).toBool();
        }
        const QString path = runtimePath(u"activate.js"_qs);
        QFile script(path);
        if (!script.open(QIODevice::WriteOnly))
            return false;
        script.write(
            uR"(var windows = workspace.windowList ? workspace.windowList() : workspace.clientList();
for (var i = 0; i < windows.length; ++i) {
    if (windows[i].caption !== "%1")
        continue;
    if (workspace.activeWindow !== undefined)
        workspace.activeWindow = windows[i];
    else
        workspace.activeClient = windows[i];
}
)"_qs.arg(title)
                .toUtf8());
        script.close();
        // The previous activation's script goes first: KWin loads no two of one name.
        const auto scripting = [this](const QString &method, const QVariantList &arguments = {}) {
            return call(u"org.kde.KWin"_qs, u"/Scripting"_qs,
                        u"org.kde.kwin.Scripting."_qs + method, arguments);
        };
        scripting(u"unloadScript"_qs, {u"orvane-test-activate"_qs});
        const QDBusMessage loaded = scripting(u"loadScript"_qs, {path, u"orvane-test-activate"_qs});
        return loaded.type() == QDBusMessage::ReplyMessage &&
               loaded.arguments().value(0).toInt() >= 0 &&
               scripting(u"start"_qs).type() == QDBusMessage::ReplyMessage;
    }

    // The whole output; null when the compositor would not give it.
    QImage screenshot()
    {
        if (m_name == u"sway"_qs)
            return QImage::fromData(run(u"grim"_qs, {u"-"_qs}).value_or(QByteArray()));
        if (m_name == u"gnome-shell"_qs) {
            const QString path = runtimePath(u"screenshot.png"_qs);
            return call(u"org.gnome.Shell"_qs, u"/dev/orvane/Test"_qs,
                        u"dev.orvane.Test.Screenshot"_qs, {path})
                               .type() == QDBusMessage::ReplyMessage
                       ? QImage(path)
                       : QImage();
        }
        // KWin answers with the picture's format and writes its pixels into the pipe.
        int fds[2];
        if (::pipe(fds) != 0)
            return {};
        const QDBusMessage reply =
            call(u"org.kde.KWin"_qs, u"/org/kde/KWin/ScreenShot2"_qs,
                 u"org.kde.KWin.ScreenShot2.CaptureActiveScreen"_qs,
                 {QVariantMap(), QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]))});
        ::close(fds[1]);
        const QVariantMap meta = qdbus_cast<QVariantMap>(reply.arguments().value(0));
        const int stride = meta.value(u"stride"_qs).toInt(),
                  height = meta.value(u"height"_qs).toInt();
        QByteArray data(qsizetype(stride) * height, Qt::Uninitialized);
        qsizetype got = 0;
        for (ssize_t part = 1;
             reply.type() == QDBusMessage::ReplyMessage && got < data.size() && part > 0;
             got += part)
            part = ::read(fds[0], data.data() + got, std::size_t(data.size() - got));
        ::close(fds[0]);
        if (data.isEmpty() || got < data.size())
            return {};
        return QImage(reinterpret_cast<const uchar *>(data.constData()),
                      meta.value(u"width"_qs).toInt(), height, stride,
                      QImage::Format(meta.value(u"format"_qs).toInt()))
            .copy();
    }

    // The active-window monitor a session of this desktop calls for, connected to it.
    std::unique_ptr<Platform::ActiveWindowMonitor> monitor()
    {
        if (m_name == u"sway"_qs)
            return Platform::WlrToplevelMonitor::connect(
                Platform::QtTimers::instance(),
                QFile::encodeName(m_environment.value(u"WAYLAND_DISPLAY"_qs)));
        if (m_name == u"gnome-shell"_qs)
            return Platform::GnomeShellMonitor::available(m_bus)
                       ? std::make_unique<Platform::GnomeShellMonitor>(m_bus)
                       : nullptr;
        // Beside the program's own, under a name of its own.
        if (!Platform::KWinScriptMonitor::available(m_bus))
            return nullptr;
        return std::make_unique<Platform::KWinScriptMonitor>(m_bus, Platform::QtTimers::instance(),
                                                             u"orvane-test-monitor"_qs);
    }

private:
    QString runtimePath(const QString &name = {}) const
    {
        return name.isEmpty() ? m_runtime.path() : m_runtime.filePath(name);
    }

    QString startSway()
    {
        m_environment.insert(u"WLR_BACKENDS"_qs, u"headless"_qs);
        m_environment.insert(u"WLR_HEADLESS_OUTPUTS"_qs, u"1"_qs);
        m_environment.insert(u"WLR_LIBINPUT_NO_DEVICES"_qs, u"1"_qs);
        m_environment.insert(u"WLR_RENDERER"_qs, u"pixman"_qs);
        const QString config = runtimePath(u"config"_qs);
        QStringList arguments{u"sway"_qs, u"-c"_qs, config};
        // sway will not run as root; where the tests do (a container), it runs as nobody, and
        // its XWayland, which lets in no other user by itself, is told to let root in.
        if (::getuid() == 0) {
            if (QStandardPaths::findExecutable(u"xhost"_qs).isEmpty())
                return u"xhost is not installed"_qs;
            if (::chown(QFile::encodeName(runtimePath()).constData(), 65534, 65534) != 0)
                return u"cannot hand the runtime folder to nobody"_qs;
            arguments =
                u"setpriv --reuid=65534 --regid=65534 --clear-groups --"_qs.split(u' ') + arguments;
        }
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return u"cannot write sway's configuration"_qs;
        file.write(u"output HEADLESS-1 mode %1x%2 position 0 0 bg #404040 solid_color\n"
                   "xwayland force\nfocus_follows_mouse no\nworkspace_layout tabbed\n"
                   "for_window [class=\"^Orvane$\"] floating disable\nexec sh %3\n"_qs.arg(kWidth)
                       .arg(kHeight)
                       .arg(runtimePath(u"ready.sh"_qs))
                       .toUtf8());
        file.close();
        m_compositor = &spawn(arguments.first(), arguments.mid(1));
        return {};
    }

    QString startKWin()
    {
        m_environment.insert(u"KWIN_SCREENSHOT_NO_PERMISSION_CHECKS"_qs, u"1"_qs);
        // The installed program carries a file capability that a container's bounding set may
        // lack, and then cannot be started at all; a copy carries none.
        const QString kwin = runtimePath(u"kwin_wayland"_qs);
        if (!QFile::copy(QStandardPaths::findExecutable(u"kwin_wayland"_qs), kwin))
            return u"cannot copy kwin_wayland"_qs;
        m_compositor = &spawn(kwin, {u"--virtual"_qs, u"--xwayland"_qs, u"--socket"_qs,
                                     u"wayland-orvane"_qs, u"--width"_qs, QString::number(kWidth),
                                     u"--height"_qs, QString::number(kHeight),
                                     u"--no-lockscreen"_qs, runtimePath(u"ready.sh"_qs)});
        return {};
    }

    QString startGnomeShell()
    {
        const QString home = runtimePath();
        m_environment.insert(u"XDG_CONFIG_HOME"_qs, home + u"/.config"_qs);
        m_environment.insert(u"XDG_DATA_HOME"_qs, home + u"/.local/share"_qs);
        for (const char *extension : {ORVANE_GNOME_EXTENSION, ORVANE_GNOME_TEST_EXTENSION}) {
            const QString target = home + u"/.local/share/gnome-shell/extensions/"_qs +
                                   QFileInfo(QString::fromLatin1(extension)).fileName();
            QDir().mkpath(target);
            for (const QFileInfo &file :
                 QDir(QString::fromLatin1(extension)).entryInfoList(QDir::Files))
                if (!QFile::copy(file.filePath(), target + u'/' + file.fileName()))
                    return u"cannot install the extensions"_qs;
        }
        // The settings in a key file rather than dconf: the extensions on, no welcome tour, no
        // animations to wait for, no banners over the windows.
        m_environment.insert(u"GSETTINGS_BACKEND"_qs, u"keyfile"_qs);
        QDir().mkpath(home + u"/.config/glib-2.0/settings"_qs);
        QFile settings(home + u"/.config/glib-2.0/settings/keyfile"_qs);
        if (!settings.open(QIODevice::WriteOnly))
            return u"cannot write the settings"_qs;
        settings.write(u"[org/gnome/shell]\nenabled-extensions=['%1', 'test@orvane.dev']\n"
                       "welcome-dialog-last-shown-version='999'\n\n"
                       "[org/gnome/desktop/interface]\nenable-animations=false\n\n"
                       "[org/gnome/desktop/notifications]\nshow-banners=false\n"_qs
                           .arg(QLatin1String(Platform::GnomeShellMonitor::extensionUuid))
                           .toUtf8());
        settings.close();
        // XWayland's displays from :1024 on, as under GDM, clear of the numbers the X11 tests'
        // own servers take.
        m_environment.insert(u"RUNNING_UNDER_GDM"_qs, u"1"_qs);
        m_compositor = &spawn(
            u"sh"_qs,
            {u"-c"_qs, u"exec gnome-shell \"$@\" >\"%1\" 2>&1"_qs.arg(runtimePath(u"shell.log"_qs)),
             u"sh"_qs, u"--headless"_qs, u"--wayland"_qs, u"--virtual-monitor"_qs,
             u"%1x%2"_qs.arg(kWidth).arg(kHeight), u"--wayland-display"_qs, u"wayland-orvane"_qs});
        return {};
    }

    // GNOME Shell starts no program: it is up once its log names XWayland's display (the cookie
    // is a file in the runtime folder) and the extension answers.
    QStringList gnomeShellDisplays()
    {
        QFile log(runtimePath(u"shell.log"_qs));
        const QString display =
            QRegularExpression(u"Using public X11 display (:\\d+)"_qs)
                .match(
                    QString::fromUtf8(log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray()))
                .captured(1);
        if (display.isEmpty() || call(u"org.gnome.Shell"_qs, u"/dev/orvane/ActiveWindow"_qs,
                                      u"dev.orvane.ActiveWindow.Current"_qs)
                                         .type() != QDBusMessage::ReplyMessage)
            return {};
        QDirIterator cookies(runtimePath(), {u".mutter-Xwaylandauth.*"_qs},
                             QDir::Files | QDir::Hidden);
        return {
            display, cookies.hasNext() ? cookies.next() : QString(), u"wayland-orvane"_qs, {}, {}};
    }

    // A method, "interface.name", called on the session's bus.
    QDBusMessage call(const QString &service, const QString &path, const QString &method,
                      const QVariantList &arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(
            service, path, method.section(u'.', 0, -2), method.section(u'.', -1));
        message.setArguments(arguments);
        return m_bus.call(message, QDBus::Block, 10'000);
    }

    QString m_name;
    QTemporaryDir m_runtime, m_clientRuntime;
    QDBusConnection m_bus{QString()};
    QProcess *m_compositor = nullptr;
};

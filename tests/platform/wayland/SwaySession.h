#pragma once

#include "CompositorSession.h"
#include "platform/Timers.h"
#include "platform/wayland/WlrToplevelMonitor.h"

#include <QRegularExpression>
#include <QStandardPaths>

#include <unistd.h>

// sway on the headless backend with the pixman renderer, XWayland started with it, windows in
// tabs (the focused one fills the screen). It is driven through its own IPC (swaymsg).
class SwaySession final : public CompositorSession
{
public:
    QString start() override
    {
        for (const char *program : {"sway", "swaymsg", "grim", "Xwayland"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
                return QString::fromLatin1(program) + QStringLiteral(" is not installed");
        prepare(QStringLiteral("sway"));
        const QString config = runtimePath(QStringLiteral("config"));
        m_environment.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
        m_environment.insert(QStringLiteral("WLR_HEADLESS_OUTPUTS"), QStringLiteral("1"));
        m_environment.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
        m_environment.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
        QString program = QStringLiteral("sway");
        QStringList arguments{QStringLiteral("-c"), config};
        // Once XWayland runs, sway says which display it is on.
        QString ready = QStringLiteral("echo \"$DISPLAY\" > ") + runtimePath(QStringLiteral("display"));
        // sway will not run as root; where the tests do (a container), it runs as nobody, and
        // its XWayland, which lets in no other user by itself, is told to let root in.
        if (::getuid() == 0) {
            if (QStandardPaths::findExecutable(QStringLiteral("xhost")).isEmpty())
                return QStringLiteral("xhost is not installed");
            if (::chown(QFile::encodeName(runtimePath()).constData(), 65534, 65534) != 0)
                return QStringLiteral("cannot hand the runtime folder to nobody");
            m_environment.insert(QStringLiteral("HOME"), runtimePath());
            arguments = QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                    QStringLiteral("--clear-groups"), QStringLiteral("--"), program}
                        + arguments;
            program = QStringLiteral("setpriv");
            ready.prepend(QStringLiteral("xhost +si:localuser:root && "));
        }
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return QStringLiteral("cannot write sway's configuration");
        file.write(QStringLiteral("output HEADLESS-1 mode %1x%2 position 0 0 bg #404040 solid_color\n"
                                  "xwayland force\nfocus_follows_mouse no\nworkspace_layout tabbed\n"
                                  "for_window [class=\"^Orvane$\"] floating disable\n"
                                  "exec sh -c '%3'\n")
                       .arg(kWidth).arg(kHeight).arg(ready)
                       .toUtf8());
        file.close();
        QProcess &sway = spawn(program, arguments);
        QString socket, waylandDisplay, display;
        static_cast<void>(QTest::qWaitFor([&] {
            const QDir runtime(runtimePath());
            for (const QString &name : runtime.entryList(QDir::System | QDir::Files)) {
                if (name.startsWith(QLatin1String("sway-ipc.")))
                    socket = runtime.filePath(name);
                else if (QRegularExpression(QStringLiteral("^wayland-\\d+$")).match(name).hasMatch())
                    waylandDisplay = name;
            }
            QFile reported(runtimePath(QStringLiteral("display")));
            if (reported.open(QIODevice::ReadOnly))
                display = QString::fromUtf8(reported.readAll().trimmed());
            return sway.state() != QProcess::Running
                   || (!socket.isEmpty() && !waylandDisplay.isEmpty() && !display.isEmpty());
        }, 20'000));
        if (socket.isEmpty() || waylandDisplay.isEmpty() || display.isEmpty())
            return QStringLiteral("sway did not start (exit code %1)").arg(sway.exitCode());
        m_environment.insert(QStringLiteral("SWAYSOCK"), socket);
        // Clients find the compositor by its socket's full path, and keep runtime files of
        // their own user apart from nobody's.
        started(runtimePath(waylandDisplay), display);
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_clientRuntime.path());
        return {};
    }

    bool focus(const QString &title) override
    {
        return swaymsg(QStringLiteral("[title=\"^%1$\"] focus").arg(title));
    }

    QImage screenshot() override
    {
        return QImage::fromData(run(QStringLiteral("grim"), {QStringLiteral("-")}).value_or(QByteArray()));
    }

    std::unique_ptr<Platform::ActiveWindowMonitor> monitor() override
    {
        return Platform::WlrToplevelMonitor::connect(
            Platform::QtTimers::instance(),
            QFile::encodeName(m_environment.value(QStringLiteral("WAYLAND_DISPLAY"))));
    }

private:
    bool swaymsg(const QString &command)
    {
        return run(QStringLiteral("swaymsg"), {command}).has_value();
    }

    QTemporaryDir m_clientRuntime;
};

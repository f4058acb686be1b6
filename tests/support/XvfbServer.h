#pragma once

#include "support/ProcessGroup.h"
#include "support/X11Client.h"

#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

// The folders the desktop's programs write to; a base class, so that they outlive the programs.
struct XvfbHome
{
    QTemporaryDir home;
};

// A private desktop for one test program: an X server, optionally a session bus and a real
// window manager on it, so that tests running side by side never share the root window's
// properties. The server picks a free display number itself (-displayfd). Everything started
// here, and what the test spawns through it, ends newest first when it goes.
class XvfbServer : private XvfbHome, public ProcessGroup
{
public:
    enum class WindowManager
    {
        None,
        Openbox,
        Xfwm4
    };

    // Starts the server; on success DISPLAY names it, in this process and in environment().
    // Gives an empty string or why it failed.
    QString start(int width = 1280, int height = 800)
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            return QStringLiteral("Xvfb is not installed");
        m_environment = QProcessEnvironment::systemEnvironment();
        // Nothing of the developer's own session: no other display, bus or screen reader.
        for (const char *name : {"WAYLAND_DISPLAY", "AT_SPI_BUS_ADDRESS", "XAUTHORITY"})
            m_environment.remove(QString::fromLatin1(name));
        // -noreset: a probe leaving before the window manager connects would reset the server.
        const QString number = readLine(
            spawn(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                   QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-screen"),
                   QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(width).arg(height)}),
            10'000);
        if (number.isEmpty())
            return QStringLiteral("Xvfb did not start");
        m_display = ":" + number.toLatin1();
        qputenv("DISPLAY", m_display);
        m_environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_display));
        return {};
    }

    // A session bus on this display, with a runtime folder of its own (the accessibility bus it
    // starts on demand announces itself on this display's root window); its address, also in
    // environment(), or nothing.
    QString startBus()
    {
        const QString runtime = home.filePath(QStringLiteral("runtime"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        const QString address = ProcessGroup::startBus(runtime);
        if (!address.isEmpty())
            m_environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        return address;
    }

    // Starts a window manager and waits until it has announced itself on the root window.
    QString startWindowManager(WindowManager manager)
    {
        const bool openbox = manager == WindowManager::Openbox;
        const QString program = openbox ? QStringLiteral("openbox") : QStringLiteral("xfwm4");
        if (QStandardPaths::findExecutable(program).isEmpty())
            return program + QStringLiteral(" is not installed");
        // xfwm4 reads its settings over D-Bus and gives up without a session bus; stopping the
        // bus by its own process takes down the settings daemon it starts for xfwm4 too.
        if (!openbox && !m_environment.contains(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")) &&
            startBus().isEmpty())
            return QStringLiteral("dbus-daemon did not start");
        // Window managers keep settings below the home folder: give them a fresh one.
        QProcessEnvironment env = m_environment;
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral(".cache")));
        env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
        QProcess &process = spawn(program,
                                  openbox ? QStringList{QStringLiteral("--sm-disable")}
                                          : QStringList{QStringLiteral("--compositor=off"),
                                                        QStringLiteral("--sm-client-disable")},
                                  env);
        if (process.state() != QProcess::Running)
            return program + QStringLiteral(" did not start");
        for (int i = 0; i < 200; ++i) {
            if (windowManagerAnnounced())
                return {};
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return program + QStringLiteral(" did not take over the screen");
    }

    QByteArray display() const { return m_display; }

    // The whole screen as the X server holds it; null when it could not be read.
    QImage screenshot() const { return X11Client(m_display.constData()).screenshot(); }

private:
    // A running window manager names its check window in _NET_SUPPORTING_WM_CHECK.
    bool windowManagerAnnounced() const
    {
        X11Client x(m_display.constData());
        return x.ok() && x.property32(x.root(), "_NET_SUPPORTING_WM_CHECK").size() == 1;
    }

    QByteArray m_display;
};

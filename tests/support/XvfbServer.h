#pragma once

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

// A private X server for one test program, and optionally a real window manager on it, so that
// tests running side by side never share the root window's properties. The server picks a free
// display number itself (-displayfd).
class XvfbServer
{
public:
    enum class WindowManager
    {
        None,
        Openbox,
        Xfwm4
    };

    ~XvfbServer()
    {
        stop(m_windowManager);
        stop(m_bus);
        stop(m_server);
    }

    // Starts the server; on success DISPLAY names it. Gives an empty string or why it failed.
    QString start(int width = 1280, int height = 800)
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            return QStringLiteral("Xvfb is not installed");
        m_server = std::make_unique<QProcess>();
        m_server->setProcessChannelMode(QProcess::SeparateChannels);
        m_server->setStandardErrorFile(QProcess::nullDevice());
        m_server->start(QStringLiteral("Xvfb"),
                        {QStringLiteral("-displayfd"), QStringLiteral("1"),
                         QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                         QStringLiteral("-screen"), QStringLiteral("0"),
                         QStringLiteral("%1x%2x24").arg(width).arg(height)});
        QByteArray number;
        while (!number.contains('\n') && m_server->waitForReadyRead(10000))
            number += m_server->readAllStandardOutput();
        if (!number.contains('\n'))
            return QStringLiteral("Xvfb did not start");
        m_display = ":" + number.trimmed();
        qputenv("DISPLAY", m_display);
        return {};
    }

    // Starts a window manager and waits until it has announced itself on the root window.
    QString startWindowManager(WindowManager manager)
    {
        m_windowManager = std::make_unique<QProcess>();
        m_windowManager->setProcessChannelMode(QProcess::MergedChannels);
        m_windowManager->setStandardOutputFile(QProcess::nullDevice());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_display));
        // Window managers keep settings below the home folder: give them a fresh one.
        env.insert(QStringLiteral("HOME"), m_home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral(".config")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral(".cache")));
        env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
        m_windowManager->setProcessEnvironment(env);
        QString program;
        QStringList arguments;
        if (manager == WindowManager::Openbox) {
            program = QStringLiteral("openbox");
            arguments = {QStringLiteral("--sm-disable")};
        } else {
            program = QStringLiteral("xfwm4");
            arguments = {QStringLiteral("--compositor=off"), QStringLiteral("--sm-client-disable")};
            if (QStandardPaths::findExecutable(program).isEmpty())
                return QStringLiteral("xfwm4 is not installed");
            // xfwm4 reads its settings over D-Bus and gives up without a session bus. The bus
            // is started here, not by dbus-run-session, so that stopping it by its own process
            // takes it down, and with it the settings daemon it starts for xfwm4.
            const QString address = startBus();
            if (address.isEmpty())
                return QStringLiteral("dbus-daemon did not start");
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
            m_windowManager->setProcessEnvironment(env);
        }
        if (QStandardPaths::findExecutable(program).isEmpty())
            return program + QStringLiteral(" is not installed");
        m_windowManager->start(program, arguments);
        if (!m_windowManager->waitForStarted(5000))
            return program + QStringLiteral(" did not start");
        for (int i = 0; i < 200; ++i) {
            if (windowManagerAnnounced())
                return {};
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return program + QStringLiteral(" did not take over the screen");
    }

    QByteArray display() const { return m_display; }

private:
    // A session bus listening in the private home; gives its address, or nothing.
    QString startBus()
    {
        m_bus = std::make_unique<QProcess>();
        m_bus->setStandardErrorFile(QProcess::nullDevice());
        m_bus->start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"),
                      QStringLiteral("--address=unix:dir=") + m_home.path(),
                      QStringLiteral("--print-address=1")});
        QByteArray address;
        while (!address.contains('\n') && m_bus->waitForReadyRead(10000))
            address += m_bus->readAllStandardOutput();
        return QString::fromUtf8(address.trimmed());
    }

    // A running window manager names its check window in _NET_SUPPORTING_WM_CHECK.
    bool windowManagerAnnounced() const
    {
        xcb_connection_t *c = xcb_connect(m_display.constData(), nullptr);
        bool found = false;
        if (!xcb_connection_has_error(c)) {
            const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
            const char name[] = "_NET_SUPPORTING_WM_CHECK";
            auto *atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof name - 1, name),
                                               nullptr);
            if (atom && atom->atom != XCB_ATOM_NONE) {
                auto *reply = xcb_get_property_reply(
                    c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr);
                found = reply && xcb_get_property_value_length(reply) == 4;
                std::free(reply);
            }
            std::free(atom);
        }
        xcb_disconnect(c);
        return found;
    }

    static void stop(std::unique_ptr<QProcess> &process)
    {
        if (!process || process->state() == QProcess::NotRunning)
            return;
        process->terminate();
        if (!process->waitForFinished(3000)) {
            process->kill();
            process->waitForFinished(3000);
        }
    }

    QTemporaryDir m_home;
    std::unique_ptr<QProcess> m_server;
    std::unique_ptr<QProcess> m_windowManager;
    std::unique_ptr<QProcess> m_bus;
    QByteArray m_display;
};

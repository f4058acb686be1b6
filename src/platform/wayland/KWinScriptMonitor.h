#pragma once

#include "platform/SettlingActiveWindowMonitor.h"

#include <QDBusConnection>
#include <QHash>
#include <QTemporaryFile>

#include <cstdint>

namespace Platform {

// Follows the active window on KDE Plasma: a KWin script, loaded over D-Bus, reports every
// activation (Wayland and XWayland windows alike) back to this object on the same bus, and is
// unloaded when the monitor goes. A Wayland window's resource class is its app_id, an X11
// window's the lower-case WM_CLASS class; KWin tells the process id of both.
class KWinScriptMonitor final : public SettlingActiveWindowMonitor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "dev.orvane.ActiveWindow")

public:
    // The script's name in KWin: one script of the program per session, since KWin refuses
    // to load a second script of a name it has and the program runs once per user.
    static constexpr auto defaultScriptName = "orvane-active-window";

    // Whether KWin runs on `bus`.
    static bool available(const QDBusConnection &bus);

    explicit KWinScriptMonitor(QDBusConnection bus, Timers &timers = QtTimers::instance(),
                               QString scriptName = QString::fromLatin1(defaultScriptName),
                               QObject *parent = nullptr);
    ~KWinScriptMonitor() override;

    void start() override;

public Q_SLOTS:
    // The script's report of an activation: all empty when no window is active; the X11
    // window is "0" for a Wayland one.
    Q_SCRIPTABLE void Activated(const QString &resourceClass, const QString &resourceName,
                                const QString &desktopFile, const QString &pid,
                                const QString &key, const QString &x11Window);

private:
    void loadScript();

    QDBusConnection m_bus;
    QString m_scriptName;
    QTemporaryFile m_script;
    bool m_started = false;
    bool m_loaded = false;
    QHash<QString, std::uint32_t> m_ids;
};

} // namespace Platform

#pragma once

#include "platform/SettlingActiveWindowMonitor.h"

#include <QDBusConnection>

#include <optional>

namespace Platform {

// Follows the focused window on GNOME through the program's Shell extension, which GNOME Shell
// runs once it is enabled (it loads extensions only at log-in): the extension signals every
// change of focus with the window's WM_CLASS (a Wayland window's app_id), its application id
// and its process, and answers for the window of the moment. Whether the extension answers is
// known shortly after start().
class GnomeShellMonitor final : public SettlingActiveWindowMonitor
{
    Q_OBJECT

public:
    // The extension as GNOME knows it, installed with the program.
    static constexpr auto extensionUuid = "active-window@orvane.dev";

    // Whether GNOME Shell runs on `bus`.
    static bool available(const QDBusConnection &bus);

    explicit GnomeShellMonitor(QDBusConnection bus, Timers &timers = QtTimers::instance(),
                               QObject *parent = nullptr);

    void start() override;

    // None until the extension has answered or failed to; then whether it runs.
    std::optional<bool> extensionRuns() const { return m_extensionRuns; }

Q_SIGNALS:
    // extensionRuns() is known, or changed.
    void extensionRunsChanged();

private Q_SLOTS:
    void changed(const QString &wmClass, const QString &wmClassInstance, const QString &appId,
                 qint64 pid, qulonglong id);

private:
    void setExtensionRuns(bool runs);

    QDBusConnection m_bus;
    bool m_started = false;
    std::optional<bool> m_extensionRuns;
};

} // namespace Platform

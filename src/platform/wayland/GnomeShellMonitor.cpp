#include "platform/wayland/GnomeShellMonitor.h"

#include "platform/wayland/Log.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace Platform {

namespace {

const QString shellService = QStringLiteral("org.gnome.Shell");
const QString extensionPath = QStringLiteral("/dev/orvane/ActiveWindow");
const QString extensionInterface = QStringLiteral("dev.orvane.ActiveWindow");

} // namespace

bool GnomeShellMonitor::available(const QDBusConnection &bus)
{
    return bus.isConnected() && bus.interface()->isServiceRegistered(shellService);
}

GnomeShellMonitor::GnomeShellMonitor(QDBusConnection bus, Timers &timers, QObject *parent)
    : SettlingActiveWindowMonitor(timers, parent)
    , m_bus(std::move(bus))
{}

void GnomeShellMonitor::start()
{
    if (m_started)
        return;
    m_started = true;
    // Listening first: a change between the question and its answer is not missed. An
    // extension enabled later, without logging in again, is heard from its first signal on.
    // QtDBus takes the receiving slot by name only.
    m_bus.connect(shellService, extensionPath, extensionInterface, QStringLiteral("Changed"),
                  this, SLOT(changed(QString, QString, QString, qlonglong, qulonglong)));
    auto *current = new QDBusPendingCallWatcher(
        m_bus.asyncCall(QDBusMessage::createMethodCall(shellService, extensionPath,
                                                       extensionInterface,
                                                       QStringLiteral("Current"))),
        this);
    connect(current, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *watcher) {
                watcher->deleteLater();
                const QDBusPendingReply<QString, QString, QString, qint64, qulonglong> reply =
                    *watcher;
                if (reply.isError()) {
                    qCWarning(lcWayland, "GNOME Shell does not run the extension %s: %s",
                              extensionUuid, qPrintable(reply.error().message()));
                    setExtensionRuns(false);
                    return;
                }
                setExtensionRuns(true);
                changed(reply.argumentAt<0>(), reply.argumentAt<1>(), reply.argumentAt<2>(),
                        reply.argumentAt<3>(), reply.argumentAt<4>());
            });
}

void GnomeShellMonitor::changed(const QString &wmClass, const QString &wmClassInstance,
                                const QString &appId, qint64 pid, qulonglong id)
{
    setExtensionRuns(true);
    if (id == 0) {
        see(std::nullopt);
        return;
    }
    ActiveWindow window;
    window.id = std::uint32_t(id);
    window.className = wmClass;
    window.instanceName = wmClassInstance;
    window.appId = appId;
    if (pid > 0)
        window.pid = pid;
    see(window);
}

void GnomeShellMonitor::setExtensionRuns(bool runs)
{
    if (m_extensionRuns == runs)
        return;
    m_extensionRuns = runs;
    Q_EMIT extensionRunsChanged();
}

} // namespace Platform

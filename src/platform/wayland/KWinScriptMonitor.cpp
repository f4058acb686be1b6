#include "platform/wayland/KWinScriptMonitor.h"

#include "platform/wayland/Log.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QMetaClassInfo>

namespace Platform {

namespace {

const QString kwinService = QStringLiteral("org.kde.KWin");
const QString scriptingPath = QStringLiteral("/Scripting");
const QString scriptingInterface = QStringLiteral("org.kde.kwin.Scripting");
const QString objectPath = QStringLiteral("/dev/orvane/ActiveWindow");

// Plasma 6 names the signal windowActivated and the property activeWindow, Plasma 5
// clientActivated and activeClient; Plasma 5 hands byte arrays over as ArrayBuffers.
constexpr auto scriptText = R"(// Reports every activation to the program that loaded this script.
const service = "%1", path = "%2", iface = "%3";
function text(value) {
    if (value === undefined || value === null)
        return "";
    if (typeof value === "string")
        return value;
    return String.fromCharCode.apply(null, new Uint8Array(value));
}
function report(window) {
    if (!window) {
        callDBus(service, path, iface, "Activated", "", "", "", "", "", "");
        return;
    }
    callDBus(service, path, iface, "Activated", text(window.resourceClass),
             text(window.resourceName), text(window.desktopFileName), String(window.pid),
             String(window.internalId), String(window.windowId || 0));
}
(workspace.windowActivated || workspace.clientActivated).connect(report);
report(workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient);
)";

QDBusMessage scripting(const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(kwinService, scriptingPath, scriptingInterface, method);
    message.setArguments(arguments);
    return message;
}

} // namespace

bool KWinScriptMonitor::available(const QDBusConnection &bus)
{
    return bus.isConnected() && bus.interface()->isServiceRegistered(kwinService);
}

KWinScriptMonitor::KWinScriptMonitor(QDBusConnection bus, Timers &timers, QString scriptName,
                                     QObject *parent)
    : SettlingActiveWindowMonitor(timers, parent)
    , m_bus(std::move(bus))
    , m_scriptName(std::move(scriptName))
    , m_script(QDir::tempPath() + QStringLiteral("/orvane-kwin-XXXXXX.js"))
{}

KWinScriptMonitor::~KWinScriptMonitor()
{
    if (m_loaded)
        m_bus.call(scripting(QStringLiteral("unloadScript"), {m_scriptName}),
                   QDBus::Block, 1000);
    if (m_started)
        m_bus.unregisterObject(objectPath);
}

void KWinScriptMonitor::start()
{
    if (m_started)
        return;
    m_started = true;
    if (!m_bus.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots)) {
        qCWarning(lcWayland, "cannot take the object KWin reports to: %s",
                  qPrintable(m_bus.lastError().message()));
        return;
    }
    const QMetaObject &meta = staticMetaObject;
    const QString interface = QString::fromLatin1(
        meta.classInfo(meta.indexOfClassInfo("D-Bus Interface")).value());
    const QByteArray text =
        QString::fromLatin1(scriptText).arg(m_bus.baseService(), objectPath, interface).toUtf8();
    if (!m_script.open() || m_script.write(text) != text.size() || !m_script.flush()) {
        qCWarning(lcWayland, "cannot write the KWin script: %s", qPrintable(m_script.errorString()));
        return;
    }
    // A script of the same name left by an earlier run would make the load fail.
    auto *unload = new QDBusPendingCallWatcher(
        m_bus.asyncCall(scripting(QStringLiteral("unloadScript"), {m_scriptName})),
        this);
    connect(unload, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *watcher) {
                watcher->deleteLater();
                loadScript();
            });
}

void KWinScriptMonitor::loadScript()
{
    auto *load = new QDBusPendingCallWatcher(
        m_bus.asyncCall(
            scripting(QStringLiteral("loadScript"), {m_script.fileName(), m_scriptName})),
        this);
    connect(load, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *watcher) {
        watcher->deleteLater();
        const QDBusPendingReply<int> reply = *watcher;
        if (reply.isError() || reply.value() < 0) {
            qCWarning(lcWayland, "KWin did not load the active-window script: %s",
                      qPrintable(reply.error().message()));
            return;
        }
        m_loaded = true;
        // Runs every loaded script that is not running yet; in every Plasma release.
        m_bus.asyncCall(scripting(QStringLiteral("start")));
        qCDebug(lcWayland, "KWin runs the active-window script");
    });
}

void KWinScriptMonitor::Activated(const QString &resourceClass, const QString &resourceName,
                                  const QString &desktopFile, const QString &pid,
                                  const QString &key, const QString &x11Window)
{
    if (key.isEmpty()) {
        see(std::nullopt);
        return;
    }
    ActiveWindow window;
    // Ids count from 1: a new key's entry is 0 until numbered.
    std::uint32_t &id = m_ids[key];
    if (id == 0)
        id = std::uint32_t(m_ids.size());
    window.id = id;
    window.className = resourceClass;
    window.instanceName = resourceName;
    window.appId = desktopFile;
    window.x11Window = x11Window.toUInt();
    if (const qint64 number = pid.toLongLong(); number > 0)
        window.pid = number;
    see(window);
}

} // namespace Platform

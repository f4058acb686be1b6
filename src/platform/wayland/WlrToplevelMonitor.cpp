#include "platform/wayland/WlrToplevelMonitor.h"

#include "platform/wayland/Log.h"

#include <QSocketNotifier>

#include <wayland-client.h>
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <algorithm>
#include <cstring>

namespace Platform {

// One toplevel as the compositor last described it. Its changes come in pieces and hold from
// the `done` that follows them.
struct WlrToplevelMonitor::Toplevel
{
    WlrToplevelMonitor *monitor = nullptr;
    zwlr_foreign_toplevel_handle_v1 *handle = nullptr;
    std::uint32_t id = 0;
    QString appId;
    QString pendingAppId;
    bool activated = false;
    bool pendingActivated = false;
};

namespace {

// Version 3 is the newest this code knows; older compositors offer less and say so.
constexpr std::uint32_t newestManagerVersion = 3;

template <typename T>
T &as(void *data)
{
    return *static_cast<T *>(data);
}

} // namespace

std::unique_ptr<WlrToplevelMonitor> WlrToplevelMonitor::connect(Timers &timers,
                                                                const QByteArray &display)
{
    wl_display *connection = wl_display_connect(display.isEmpty() ? nullptr : display.constData());
    if (!connection)
        return nullptr;
    std::unique_ptr<WlrToplevelMonitor> monitor(new WlrToplevelMonitor(timers, connection));
    static const wl_registry_listener registryListener{
        .global = &WlrToplevelMonitor::onGlobal,
        .global_remove = [](void *, wl_registry *, std::uint32_t) {},
    };
    monitor->m_registry = wl_display_get_registry(connection);
    wl_registry_add_listener(monitor->m_registry, &registryListener, monitor.get());
    if (wl_display_roundtrip(connection) < 0 || monitor->m_managerName == 0) {
        qCDebug(lcWayland, "the compositor offers no foreign-toplevel manager");
        return nullptr;
    }
    return monitor;
}

WlrToplevelMonitor::WlrToplevelMonitor(Timers &timers, wl_display *display)
    : SettlingActiveWindowMonitor(timers)
    , m_display(display)
{}

WlrToplevelMonitor::~WlrToplevelMonitor()
{
    disconnectFromCompositor();
}

void WlrToplevelMonitor::disconnectFromCompositor()
{
    m_notifier.reset();
    if (!m_display)
        return;
    for (const auto &toplevel : m_toplevels)
        zwlr_foreign_toplevel_handle_v1_destroy(toplevel->handle);
    m_toplevels.clear();
    m_activated = nullptr;
    if (m_manager)
        zwlr_foreign_toplevel_manager_v1_destroy(m_manager);
    m_manager = nullptr;
    if (m_registry)
        wl_registry_destroy(m_registry);
    m_registry = nullptr;
    wl_display_disconnect(m_display);
    m_display = nullptr;
}

void WlrToplevelMonitor::onGlobal(void *data, wl_registry *, std::uint32_t name,
                                  const char *interface, std::uint32_t version)
{
    auto &monitor = as<WlrToplevelMonitor>(data);
    if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0) {
        monitor.m_managerName = name;
        monitor.m_managerVersion = std::min(version, newestManagerVersion);
    }
}

void WlrToplevelMonitor::start()
{
    if (m_started || !m_display)
        return;
    static const zwlr_foreign_toplevel_manager_v1_listener managerListener{
        .toplevel = &WlrToplevelMonitor::onToplevel,
        .finished = &WlrToplevelMonitor::onFinished,
    };
    m_manager = static_cast<zwlr_foreign_toplevel_manager_v1 *>(
        wl_registry_bind(m_registry, m_managerName, &zwlr_foreign_toplevel_manager_v1_interface,
                         m_managerVersion));
    zwlr_foreign_toplevel_manager_v1_add_listener(m_manager, &managerListener, this);
    // The compositor describes every toplevel at once: the active one is known on return.
    if (wl_display_roundtrip(m_display) < 0) {
        qCWarning(lcWayland, "lost the compositor while reading its windows");
        disconnectFromCompositor();
        return;
    }
    m_started = true;
    m_notifier = std::make_unique<QSocketNotifier>(wl_display_get_fd(m_display),
                                                   QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this,
                     &WlrToplevelMonitor::readEvents);
}

void WlrToplevelMonitor::readEvents()
{
    if (wl_display_dispatch(m_display) < 0 || wl_display_flush(m_display) < 0) {
        qCWarning(lcWayland, "lost the connection to the compositor: no active window from now on");
        disconnectFromCompositor();
        see(std::nullopt);
    }
}

void WlrToplevelMonitor::onToplevel(void *data, zwlr_foreign_toplevel_manager_v1 *,
                                    zwlr_foreign_toplevel_handle_v1 *handle)
{
    auto &monitor = as<WlrToplevelMonitor>(data);
    static const zwlr_foreign_toplevel_handle_v1_listener toplevelListener{
        .title = [](void *, zwlr_foreign_toplevel_handle_v1 *, const char *) {},
        .app_id = [](void *toplevelData, zwlr_foreign_toplevel_handle_v1 *, const char *appId) {
            as<Toplevel>(toplevelData).pendingAppId = QString::fromUtf8(appId);
        },
        .output_enter = [](void *, zwlr_foreign_toplevel_handle_v1 *, wl_output *) {},
        .output_leave = [](void *, zwlr_foreign_toplevel_handle_v1 *, wl_output *) {},
        .state = [](void *toplevelData, zwlr_foreign_toplevel_handle_v1 *, wl_array *states) {
            bool activated = false;
            const auto *values = static_cast<const std::uint32_t *>(states->data);
            for (std::size_t i = 0; i < states->size / sizeof(std::uint32_t); ++i)
                activated = activated
                            || values[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
            as<Toplevel>(toplevelData).pendingActivated = activated;
        },
        .done = [](void *toplevelData, zwlr_foreign_toplevel_handle_v1 *) {
            auto &toplevel = as<Toplevel>(toplevelData);
            toplevel.monitor->toplevelDone(toplevel);
        },
        .closed = [](void *toplevelData, zwlr_foreign_toplevel_handle_v1 *) {
            auto &toplevel = as<Toplevel>(toplevelData);
            toplevel.monitor->toplevelClosed(toplevel);
        },
        .parent = [](void *, zwlr_foreign_toplevel_handle_v1 *, zwlr_foreign_toplevel_handle_v1 *) {},
    };
    auto toplevel = std::make_unique<Toplevel>();
    toplevel->monitor = &monitor;
    toplevel->handle = handle;
    toplevel->id = monitor.m_nextId++;
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &toplevelListener, toplevel.get());
    monitor.m_toplevels.push_back(std::move(toplevel));
}

void WlrToplevelMonitor::onFinished(void *data, zwlr_foreign_toplevel_manager_v1 *)
{
    qCWarning(lcWayland, "the compositor stopped telling about its windows");
    auto &monitor = as<WlrToplevelMonitor>(data);
    zwlr_foreign_toplevel_manager_v1_destroy(monitor.m_manager);
    monitor.m_manager = nullptr;
}

void WlrToplevelMonitor::toplevelDone(Toplevel &toplevel)
{
    toplevel.appId = toplevel.pendingAppId;
    toplevel.activated = toplevel.pendingActivated;
    if (toplevel.activated)
        m_activated = &toplevel;
    else if (m_activated == &toplevel)
        m_activated = nullptr;
    report();
}

void WlrToplevelMonitor::toplevelClosed(Toplevel &toplevel)
{
    if (m_activated == &toplevel)
        m_activated = nullptr;
    zwlr_foreign_toplevel_handle_v1_destroy(toplevel.handle);
    std::erase_if(m_toplevels, [&](const auto &known) { return known.get() == &toplevel; });
    report();
}

void WlrToplevelMonitor::report()
{
    std::optional<ActiveWindow> window;
    if (m_activated) {
        window.emplace();
        window->id = m_activated->id;
        window->className = m_activated->appId;
    }
    if (m_started)
        see(std::move(window));
    else
        seeAtStart(std::move(window));
}

} // namespace Platform

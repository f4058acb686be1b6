#pragma once

#include "platform/SettlingActiveWindowMonitor.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <vector>

class QSocketNotifier;
struct wl_display;
struct wl_registry;
struct zwlr_foreign_toplevel_handle_v1;
struct zwlr_foreign_toplevel_manager_v1;

namespace Platform {

// Follows the activated toplevel on wlroots compositors (sway, Hyprland, labwc, river, niri)
// through the foreign-toplevel protocol, on a Wayland connection of its own that the main loop
// reads when it has something. It sees native Wayland windows and XWayland ones alike: an
// XWayland window's app_id is its WM_CLASS class. The protocol gives no process id.
class WlrToplevelMonitor final : public SettlingActiveWindowMonitor
{
    Q_OBJECT

public:
    // Connects to the compositor `display` names (WAYLAND_DISPLAY's when empty); none when it
    // cannot be reached or offers no foreign-toplevel manager.
    static std::unique_ptr<WlrToplevelMonitor> connect(Timers &timers = QtTimers::instance(),
                                                       const QByteArray &display = {});
    ~WlrToplevelMonitor() override;

    void start() override;

private:
    struct Toplevel;

    WlrToplevelMonitor(Timers &timers, wl_display *display);
    void readEvents();
    void disconnectFromCompositor();
    void toplevelDone(Toplevel &toplevel);
    void toplevelClosed(Toplevel &toplevel);
    void report();

    static void onGlobal(void *data, wl_registry *registry, std::uint32_t name,
                         const char *interface, std::uint32_t version);
    static void onToplevel(void *data, zwlr_foreign_toplevel_manager_v1 *manager,
                           zwlr_foreign_toplevel_handle_v1 *handle);
    static void onFinished(void *data, zwlr_foreign_toplevel_manager_v1 *manager);

    wl_display *m_display = nullptr;
    wl_registry *m_registry = nullptr;
    std::uint32_t m_managerName = 0;
    std::uint32_t m_managerVersion = 0;
    zwlr_foreign_toplevel_manager_v1 *m_manager = nullptr;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::vector<std::unique_ptr<Toplevel>> m_toplevels;
    const Toplevel *m_activated = nullptr;
    std::uint32_t m_nextId = 1;
    bool m_started = false;
};

} // namespace Platform

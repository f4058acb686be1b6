#include "platform/ui/WindowSystem.h"

#include "platform/Log.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <string>

namespace Platform {

namespace WindowSystem {

namespace {

// A compositing manager owns the selection _NET_WM_CM_S<screen> while it runs.
bool x11CompositorRunning()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return false;
    xcb_connection_t *connection = x11->connection();
    int screen = 0;
    if (const char *display = std::getenv("DISPLAY")) {
        const std::string value(display);
        const auto dot = value.rfind('.');
        const auto colon = value.rfind(':');
        if (dot != std::string::npos && colon != std::string::npos && dot > colon)
            screen = std::atoi(value.c_str() + dot + 1);
    }
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.c_str()), nullptr);
    if (!atom) {
        qCWarning(lcPlatform, "X11 gave no atom %s: taken as no compositor", name.c_str());
        return false;
    }
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t *owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr);
    if (!owner) {
        qCWarning(lcPlatform, "X11 gave no owner of %s: taken as no compositor", name.c_str());
        return false;
    }
    const bool running = owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    qCDebug(lcPlatform, "Compositing manager %s", running ? "running" : "not running");
    return running;
}

} // namespace

bool supportsTranslucency()
{
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland")))
        return true;
    if (platform == QLatin1String("xcb"))
        return x11CompositorRunning();
    return false;
}

} // namespace WindowSystem

} // namespace Platform

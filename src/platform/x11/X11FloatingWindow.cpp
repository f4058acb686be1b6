#include "platform/x11/X11FloatingWindow.h"

#include "platform/Log.h"
#include "platform/x11/XcbReply.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace Platform {

namespace {

constexpr std::uint32_t everyDesktop = 0xFFFFFFFF;
constexpr std::uint32_t addState = 1;
constexpr std::uint32_t sourcePager = 2;

xcb_connection_t *qtConnection()
{
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

struct Atoms
{
    xcb_atom_t state, desktop, skipTaskbar, skipPager, above, sticky, protocols, takeFocus;
};

Atoms atoms(xcb_connection_t *connection)
{
    constexpr std::array<std::string_view, 8> names{
        "_NET_WM_STATE",       "_NET_WM_DESKTOP",      "_NET_WM_STATE_SKIP_TASKBAR",
        "_NET_WM_STATE_SKIP_PAGER", "_NET_WM_STATE_ABOVE", "_NET_WM_STATE_STICKY",
        "WM_PROTOCOLS",        "WM_TAKE_FOCUS"};
    std::array<xcb_intern_atom_cookie_t, 8> cookies{};
    for (std::size_t i = 0; i < names.size(); ++i)
        cookies[i] = xcb_intern_atom(connection, 0, std::uint16_t(names[i].size()), names[i].data());
    std::array<xcb_atom_t, 8> values{};
    for (std::size_t i = 0; i < names.size(); ++i) {
        XcbReply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(connection, cookies[i], nullptr));
        values[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        if (values[i] == XCB_ATOM_NONE)
            qCWarning(lcPlatform, "X11 gave no atom %.*s: the pill may not float", int(names[i].size()),
                      names[i].data());
    }
    return {values[0], values[1], values[2], values[3], values[4], values[5], values[6], values[7]};
}

// The atoms of a list property (_NET_WM_STATE, WM_PROTOCOLS); empty when it is not set.
std::vector<xcb_atom_t> atomList(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t property)
{
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, property, XCB_ATOM_ATOM, 0, 64),
        nullptr));
    if (!reply || reply->format != 32)
        return {};
    const auto *values = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
    return {values, values + xcb_get_property_value_length(reply.get()) / 4};
}

xcb_window_t rootOf(xcb_connection_t *connection, xcb_window_t window)
{
    XcbReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr));
    return tree ? tree->root : xcb_window_t(XCB_WINDOW_NONE);
}

void sendToRoot(xcb_connection_t *connection, xcb_window_t root, xcb_window_t window,
                xcb_atom_t type, std::array<std::uint32_t, 5> data)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    for (std::size_t i = 0; i < data.size(); ++i)
        event.data.data32[i] = data[i];
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char *>(&event));
}

} // namespace

void X11FloatingWindow::prepareToShow(WId id)
{
    xcb_connection_t *connection = qtConnection();
    if (!connection || !id)
        return;
    const auto window = xcb_window_t(id);
    const Atoms a = atoms(connection);

    // Qt offers every window's manager WM_TAKE_FOCUS; one that takes the offer activates the
    // window when it is clicked. This one never takes the focus.
    std::vector<xcb_atom_t> protocols = atomList(connection, window, a.protocols);
    if (std::erase(protocols, a.takeFocus))
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, a.protocols, XCB_ATOM_ATOM,
                            32, std::uint32_t(protocols.size()), protocols.data());

    // Keep whatever states are there already; add ours once.
    std::vector<xcb_atom_t> states = atomList(connection, window, a.state);
    for (const xcb_atom_t state : {a.skipTaskbar, a.skipPager, a.above, a.sticky})
        if (std::find(states.begin(), states.end(), state) == states.end())
            states.push_back(state);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, a.state, XCB_ATOM_ATOM, 32,
                        std::uint32_t(states.size()), states.data());
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, a.desktop, XCB_ATOM_CARDINAL,
                        32, 1, &everyDesktop);
    xcb_flush(connection);
}

void X11FloatingWindow::setTransientFor(WId id, std::uint32_t over)
{
    xcb_connection_t *connection = qtConnection();
    if (!connection || !id)
        return;
    // Window managers stack a focused full-screen window above every "above" window, but keep
    // a window's transients above it, in its layer: as a transient of the window it floats
    // over, the panel stays in sight when that window goes full screen.
    if (over != XCB_WINDOW_NONE)
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(id),
                            XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 32, 1, &over);
    else
        xcb_delete_property(connection, xcb_window_t(id), XCB_ATOM_WM_TRANSIENT_FOR);
    xcb_flush(connection);
}

void X11FloatingWindow::afterShow(WId id)
{
    xcb_connection_t *connection = qtConnection();
    if (!connection || !id)
        return;
    const auto window = xcb_window_t(id);
    const xcb_window_t root = rootOf(connection, window);
    if (root == XCB_WINDOW_NONE) {
        qCWarning(lcPlatform, "X11 gave no root window for window 0x%x: the pill may not float",
                  window);
        return;
    }
    const Atoms a = atoms(connection);
    sendToRoot(connection, root, window, a.desktop, {everyDesktop, sourcePager, 0, 0, 0});
    sendToRoot(connection, root, window, a.state, {addState, a.sticky, a.above, sourcePager, 0});
    sendToRoot(connection, root, window, a.state,
               {addState, a.skipTaskbar, a.skipPager, sourcePager, 0});
    xcb_flush(connection);
}

} // namespace Platform

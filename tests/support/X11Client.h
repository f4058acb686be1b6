#pragma once

#include "platform/x11/XcbReply.h"

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

// A second client on the test's X server, standing in for other applications: it makes
// windows with a chosen identity, writes and reads properties, and never goes through Qt.
class X11Client
{
    template <typename T>
    using Reply = Platform::XcbReply<T>;

public:
    explicit X11Client(const char *display = nullptr) : m_c(xcb_connect(display, nullptr))
    {
        if (!xcb_connection_has_error(m_c))
            m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
    }
    ~X11Client() { xcb_disconnect(m_c); }
    X11Client(const X11Client &) = delete;
    X11Client &operator=(const X11Client &) = delete;

    bool ok() const { return !xcb_connection_has_error(m_c); }
    xcb_window_t root() const { return m_root; }

    xcb_atom_t atom(std::string_view name)
    {
        const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, uint16_t(name.size()), name.data()), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    // A mapped top-level window of an application; `instance` and `className` go to WM_CLASS
    // unless both are empty, `pid` to _NET_WM_PID unless 0.
    xcb_window_t createWindow(const QByteArray &instance, const QByteArray &className,
                              std::uint32_t pid, QRect frame = {100, 150, 640, 480})
    {
        const xcb_window_t window = xcb_generate_id(m_c);
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        const uint32_t values[] = {screen->white_pixel};
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, window, m_root, int16_t(frame.x()),
                          int16_t(frame.y()), uint16_t(frame.width()), uint16_t(frame.height()),
                          0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL, values);
        if (!instance.isEmpty() || !className.isEmpty()) {
            const QByteArray wmClass = instance + '\0' + className + '\0';
            xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS,
                                XCB_ATOM_STRING, 8, uint32_t(wmClass.size()), wmClass.constData());
        }
        const QByteArray title = "window of " + className;
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING,
                            8, uint32_t(title.size()), title.constData());
        if (pid != 0)
            xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, atom("_NET_WM_PID"),
                                XCB_ATOM_CARDINAL, 32, 1, &pid);
        // Position the window where asked even under a window manager.
        uint32_t hints[18] = {};
        hints[0] = 1 | 2; // USPosition | USSize
        hints[1] = uint32_t(frame.x());
        hints[2] = uint32_t(frame.y());
        hints[3] = uint32_t(frame.width());
        hints[4] = uint32_t(frame.height());
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS,
                            XCB_ATOM_WM_SIZE_HINTS, 32, 18, hints);
        xcb_map_window(m_c, window);
        sync();
        return window;
    }

    void destroyWindow(xcb_window_t window)
    {
        xcb_destroy_window(m_c, window);
        sync();
    }

    // Writes _NET_ACTIVE_WINDOW as a window manager would (type WINDOW), or as CARDINAL as
    // some tools do.
    void setActiveWindow(xcb_window_t window, bool asCardinal = false)
    {
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_root, atom("_NET_ACTIVE_WINDOW"),
                            asCardinal ? XCB_ATOM_CARDINAL : XCB_ATOM_WINDOW, 32, 1, &window);
        sync();
    }

    std::vector<std::uint32_t> property32(xcb_window_t window, std::string_view name)
    {
        const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
            nullptr));
        std::vector<std::uint32_t> values;
        if (reply && reply->format == 32 && xcb_get_property_value_length(reply.get()) > 0) {
            values.resize(std::size_t(xcb_get_property_value_length(reply.get())) / 4);
            std::memcpy(values.data(), xcb_get_property_value(reply.get()), values.size() * 4);
        }
        return values;
    }

    xcb_window_t activeWindow()
    {
        const auto values = property32(m_root, "_NET_ACTIVE_WINDOW");
        return values.empty() ? xcb_window_t(XCB_WINDOW_NONE) : values.front();
    }

    // The names of the window's _NET_WM_STATE atoms.
    QStringList netWmState(xcb_window_t window)
    {
        QStringList names;
        for (const auto value : property32(window, "_NET_WM_STATE")) {
            const Reply<xcb_get_atom_name_reply_t> name(
                xcb_get_atom_name_reply(m_c, xcb_get_atom_name(m_c, value), nullptr));
            if (name)
                names << QString::fromLatin1(xcb_get_atom_name_name(name.get()),
                                             xcb_get_atom_name_name_length(name.get()));
        }
        return names;
    }

    bool isViewable(xcb_window_t window)
    {
        const Reply<xcb_get_window_attributes_reply_t> reply(xcb_get_window_attributes_reply(
            m_c, xcb_get_window_attributes(m_c, window), nullptr));
        return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    }

    // The top-level ancestor just below the root: the window manager's frame, or the window
    // itself without one.
    xcb_window_t topLevel(xcb_window_t window)
    {
        for (;;) {
            const Reply<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(m_c, xcb_query_tree(m_c, window), nullptr));
            if (!tree || tree->parent == m_root || tree->parent == XCB_WINDOW_NONE)
                return window;
            window = tree->parent;
        }
    }

    // Whether `upper`'s top-level is stacked above `lower`'s (the root's children run from
    // bottom to top).
    bool isAbove(xcb_window_t upper, xcb_window_t lower)
    {
        const std::vector<xcb_window_t> order = children(m_root);
        const auto upperAt = std::ranges::find(order, topLevel(upper));
        const auto lowerAt = std::ranges::find(order, topLevel(lower));
        return upperAt != order.end() && lowerAt != order.end() && upperAt > lowerAt;
    }

    // The first window below `parent`, at any depth, whose WM_WINDOW_ROLE is `role`.
    xcb_window_t findByRole(const QByteArray &role, xcb_window_t parent = XCB_WINDOW_NONE)
    {
        const xcb_atom_t roleAtom = atom("WM_WINDOW_ROLE");
        for (const xcb_window_t child : children(parent == XCB_WINDOW_NONE ? m_root : parent)) {
            const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
                m_c, xcb_get_property(m_c, 0, child, roleAtom, XCB_ATOM_STRING, 0, 64), nullptr));
            if (reply && QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                                    xcb_get_property_value_length(reply.get())) == role)
                return child;
            if (const xcb_window_t below = findByRole(role, child); below != XCB_WINDOW_NONE)
                return below;
        }
        return XCB_WINDOW_NONE;
    }

    // Root coordinates of a window's top-left corner and its size.
    QRect frame(xcb_window_t window)
    {
        const Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, window), nullptr));
        const Reply<xcb_translate_coordinates_reply_t> place(xcb_translate_coordinates_reply(
            m_c, xcb_translate_coordinates(m_c, window, m_root, 0, 0), nullptr));
        return geometry && place
                   ? QRect(place->dst_x, place->dst_y, geometry->width, geometry->height)
                   : QRect();
    }

    // Asks the window manager to switch workspaces, as a pager does.
    void switchDesktop(std::uint32_t desktop)
    {
        sendToRoot("_NET_CURRENT_DESKTOP", {desktop, XCB_CURRENT_TIME},
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT);
    }

    // A client message of `type` to the root window, for those listening with `mask`.
    void sendToRoot(std::string_view type, std::initializer_list<std::uint32_t> data, std::uint32_t mask)
    {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = m_root;
        event.type = atom(type);
        std::copy(data.begin(), data.end(), event.data.data32);
        xcb_send_event(m_c, 0, m_root, mask, reinterpret_cast<const char *>(&event));
        sync();
    }

    // Makes `owner` the owner of the selection `name`, as a panel does for its tray.
    void ownSelection(xcb_window_t owner, std::string_view name)
    {
        xcb_set_selection_owner(m_c, owner, atom(name), XCB_CURRENT_TIME);
    }

    // The client messages of `type` that came since the last call, their data.
    std::vector<std::array<std::uint32_t, 5>> clientMessages(std::string_view type)
    {
        const xcb_atom_t wanted = atom(type);
        std::vector<std::array<std::uint32_t, 5>> found;
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_c)) {
            const auto *message = reinterpret_cast<xcb_client_message_event_t *>(event);
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && message->type == wanted)
                found.push_back(std::to_array(message->data.data32));
            std::free(event);
        }
        return found;
    }

    // The whole screen as the server holds it; null when it could not be read.
    QImage screenshot()
    {
        if (!ok())
            return {};
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        const int width = screen->width_in_pixels, height = screen->height_in_pixels;
        const Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
            m_c, xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, 0, 0, width, height, ~0u),
            nullptr));
        if (!reply || xcb_get_image_data_length(reply.get()) != width * height * 4)
            return {};
        return QImage(xcb_get_image_data(reply.get()), width, height, QImage::Format_RGB32).copy();
    }

    // A round trip: the server has applied everything sent before.
    void sync()
    {
        std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
    }

private:
    // A window's children, from the bottom of the stack to the top.
    std::vector<xcb_window_t> children(xcb_window_t window)
    {
        const Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(m_c, xcb_query_tree(m_c, window), nullptr));
        if (!tree)
            return {};
        const xcb_window_t *first = xcb_query_tree_children(tree.get());
        return {first, first + xcb_query_tree_children_length(tree.get())};
    }

    xcb_connection_t *m_c;
    xcb_window_t m_root = XCB_WINDOW_NONE;
};

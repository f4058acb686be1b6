#include "platform/x11/X11ActiveWindowMonitor.h"

#include "platform/Log.h"
#include "platform/x11/XcbReply.h"

#include <QByteArray>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace Platform {

namespace {

xcb_connection_t *qtConnection()
{
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// The screen number of DISPLAY (":0.1" gives 1); Qt's connection was opened on it.
int displayScreen()
{
    const QByteArray display = qgetenv("DISPLAY");
    const auto colon = display.lastIndexOf(':');
    const auto dot = display.lastIndexOf('.');
    return colon >= 0 && dot > colon ? display.mid(dot + 1).toInt() : 0;
}

xcb_window_t rootWindow(xcb_connection_t *connection)
{
    auto it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int screen = displayScreen(); screen > 0 && it.rem > 1; --screen)
        xcb_screen_next(&it);
    return it.data ? it.data->root : xcb_window_t(XCB_WINDOW_NONE);
}

xcb_atom_t internAtom(xcb_connection_t *connection, std::string_view name)
{
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(name.size()), name.data()), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// A reply whose error (a window gone meanwhile) is dropped rather than left to Qt's log.
template <typename Reply>
XcbReply<Reply> take(Reply *reply, xcb_generic_error_t *&error)
{
    std::free(error);
    error = nullptr;
    return XcbReply<Reply>(reply);
}

// A property's value of any type; none when the window or the property is gone.
XcbReply<xcb_get_property_reply_t> readProperty(xcb_connection_t *connection, xcb_window_t window,
                                                xcb_atom_t property, uint32_t longs)
{
    xcb_generic_error_t *error = nullptr;
    auto reply = take(
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, window, property,
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, longs),
                               &error),
        error);
    if (!reply || reply->type == XCB_ATOM_NONE)
        return nullptr;
    return reply;
}

// The first 32-bit value of a property, whatever type its writer gave it (some tools write
// _NET_ACTIVE_WINDOW as CARDINAL rather than WINDOW).
std::optional<uint32_t> first32(const xcb_get_property_reply_t *reply)
{
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply) < 4)
        return std::nullopt;
    uint32_t value = 0;
    std::memcpy(&value, xcb_get_property_value(reply), sizeof value);
    return value;
}

} // namespace

X11ActiveWindowMonitor::X11ActiveWindowMonitor(Timers &timers, QObject *parent)
    : SettlingActiveWindowMonitor(timers, parent)
    , m_connection(qtConnection())
{}

X11ActiveWindowMonitor::~X11ActiveWindowMonitor()
{
    if (m_started && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

std::unique_ptr<ActiveWindowMonitor> X11ActiveWindowMonitor::create(Timers &timers)
{
    if (qtConnection())
        return std::make_unique<X11ActiveWindowMonitor>(timers);
    qCWarning(lcPlatform, "No X11 connection (Qt platform \"%s\"): the active window is not followed",
              qUtf8Printable(qGuiApp ? QGuiApplication::platformName() : QString()));
    return std::make_unique<NullActiveWindowMonitor>();
}

void X11ActiveWindowMonitor::start()
{
    if (m_started || !m_connection)
        return;
    m_started = true;
    m_root = rootWindow(m_connection);
    m_activeAtom = internAtom(m_connection, "_NET_ACTIVE_WINDOW");
    m_pidAtom = internAtom(m_connection, "_NET_WM_PID");
    if (m_root == XCB_WINDOW_NONE || m_activeAtom == XCB_ATOM_NONE || m_pidAtom == XCB_ATOM_NONE) {
        qCWarning(lcPlatform, "X11 gave no %s: the active window is not followed",
                  m_root == XCB_WINDOW_NONE ? "root window" : "atom _NET_ACTIVE_WINDOW or _NET_WM_PID");
        return;
    }

    // Qt already listens to the root window's properties; keep whatever it selected.
    XcbReply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        m_connection, xcb_get_window_attributes(m_connection, m_root), nullptr));
    const uint32_t mask = (attributes ? attributes->your_event_mask : 0)
                          | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
    QCoreApplication::instance()->installNativeEventFilter(this);

    const uint32_t window = readActiveWindowId();
    if (window != XCB_WINDOW_NONE)
        seeAtStart(describe(window));
}

bool X11ActiveWindowMonitor::nativeEventFilter(const QByteArray &eventType, void *message,
                                               qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto *notify = reinterpret_cast<const xcb_property_notify_event_t *>(event);
    if (notify->window == m_root && notify->atom == m_activeAtom)
        activeWindowPropertyChanged();
    return false; // Qt has its own use for root property changes
}

void X11ActiveWindowMonitor::activeWindowPropertyChanged()
{
    const uint32_t window = readActiveWindowId();
    if (window == XCB_WINDOW_NONE) {
        see(std::nullopt);
        return;
    }
    // The same window again is no change; reading it again would cost a round trip.
    if (const auto active = activeWindow(); active && active->id == window) {
        see(active);
        return;
    }
    see(describe(window));
}

uint32_t X11ActiveWindowMonitor::readActiveWindowId() const
{
    return first32(readProperty(m_connection, m_root, m_activeAtom, 1).get())
        .value_or(XCB_WINDOW_NONE);
}

ActiveWindow X11ActiveWindowMonitor::describe(uint32_t window) const
{
    ActiveWindow active;
    active.id = window;
    active.x11Window = window;

    // All requests first, then the replies: one round trip instead of four.
    const auto classCookie = xcb_get_property(m_connection, 0, window, XCB_ATOM_WM_CLASS,
                                              XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
    const auto pidCookie = xcb_get_property(m_connection, 0, window, m_pidAtom,
                                            XCB_GET_PROPERTY_TYPE_ANY, 0, 1);
    const auto geometryCookie = xcb_get_geometry(m_connection, window);
    const auto placeCookie = xcb_translate_coordinates(m_connection, window, m_root, 0, 0);

    xcb_generic_error_t *error = nullptr;
    const auto classReply = take(xcb_get_property_reply(m_connection, classCookie, &error), error);
    const auto pidReply = take(xcb_get_property_reply(m_connection, pidCookie, &error), error);
    const auto geometry = take(xcb_get_geometry_reply(m_connection, geometryCookie, &error), error);
    const auto place = take(xcb_translate_coordinates_reply(m_connection, placeCookie, &error), error);

    // WM_CLASS is two NUL-terminated strings: the instance name, then the class name.
    if (classReply && classReply->format == 8) {
        const char *data = static_cast<const char *>(xcb_get_property_value(classReply.get()));
        const std::string_view value(data, std::size_t(xcb_get_property_value_length(classReply.get())));
        const auto end = value.find('\0');
        const std::string_view instance = value.substr(0, end);
        std::string_view className;
        if (end != std::string_view::npos) {
            className = value.substr(end + 1);
            className = className.substr(0, className.find('\0'));
        }
        active.instanceName = QString::fromUtf8(instance.data(), qsizetype(instance.size()));
        active.className = QString::fromUtf8(className.data(), qsizetype(className.size()));
    }
    if (const auto pid = first32(pidReply.get()); pid && *pid > 0)
        active.pid = std::int64_t(*pid);
    if (geometry && place)
        active.frame = QRect(place->dst_x, place->dst_y, geometry->width, geometry->height);
    return active;
}

} // namespace Platform

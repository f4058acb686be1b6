#pragma once

#include <QByteArray>
#include <QPoint>
#include <QSize>

#include <wayland-client.h>
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <chrono>
#include <cstdint>
#include <cstring>

// A pointer device made up on a wlroots compositor (zwlr_virtual_pointer_v1): the seat gains a
// pointer while it exists, and its clients get the events as from a mouse.
class VirtualPointer
{
public:
    VirtualPointer(const QByteArray &display, QSize layout)
        : m_display(wl_display_connect(display.constData()))
        , m_layout(layout)
    {
        if (!m_display)
            return;
        static const wl_registry_listener listener{
            .global = [](void *data, wl_registry *registry, std::uint32_t name,
                         const char *interface, std::uint32_t) {
                if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
                    static_cast<VirtualPointer *>(data)->m_manager =
                        static_cast<zwlr_virtual_pointer_manager_v1 *>(wl_registry_bind(
                            registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
            },
            .global_remove = [](void *, wl_registry *, std::uint32_t) {},
        };
        m_registry = wl_display_get_registry(m_display);
        wl_registry_add_listener(m_registry, &listener, this);
        wl_display_roundtrip(m_display);
        if (m_manager)
            m_pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(m_manager, nullptr);
        wl_display_roundtrip(m_display);
    }
    ~VirtualPointer()
    {
        if (m_pointer)
            zwlr_virtual_pointer_v1_destroy(m_pointer);
        if (m_manager)
            zwlr_virtual_pointer_manager_v1_destroy(m_manager);
        if (m_registry)
            wl_registry_destroy(m_registry);
        if (m_display)
            wl_display_disconnect(m_display);
    }
    VirtualPointer(const VirtualPointer &) = delete;
    VirtualPointer &operator=(const VirtualPointer &) = delete;

    bool ok() const { return m_pointer != nullptr; }

    void moveTo(QPoint at)
    {
        zwlr_virtual_pointer_v1_motion_absolute(m_pointer, now(), std::uint32_t(at.x()),
                                                std::uint32_t(at.y()), std::uint32_t(m_layout.width()),
                                                std::uint32_t(m_layout.height()));
        frame();
    }

    void button(bool pressed)
    {
        constexpr std::uint32_t leftButton = 0x110; // BTN_LEFT
        zwlr_virtual_pointer_v1_button(m_pointer, now(), leftButton,
                                       pressed ? WL_POINTER_BUTTON_STATE_PRESSED
                                               : WL_POINTER_BUTTON_STATE_RELEASED);
        frame();
    }

private:
    void frame()
    {
        zwlr_virtual_pointer_v1_frame(m_pointer);
        wl_display_roundtrip(m_display);
    }

    static std::uint32_t now()
    {
        return std::uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count());
    }

    wl_display *m_display;
    QSize m_layout;
    wl_registry *m_registry = nullptr;
    zwlr_virtual_pointer_manager_v1 *m_manager = nullptr;
    zwlr_virtual_pointer_v1 *m_pointer = nullptr;
};

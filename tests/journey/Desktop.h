#pragma once

#include "support/ProcessGroup.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xcb.h>

// A private desktop for one test: an X server on a display number it picks itself, the Openbox
// window manager on it, and a session bus (with the accessibility bus it starts on demand). It
// ends them all, newest first, when it goes.
class Desktop : public ProcessGroup
{
public:
    static constexpr int kWidth = 1280;
    static constexpr int kHeight = 800;

    // Starts everything; `home` is the home folder the window manager reads its settings from.
    void start(const QString &home)
    {
        QVERIFY(m_runtime.isValid());
        m_environment = QProcessEnvironment::systemEnvironment();
        // Nothing of the developer's own session: no other display, bus or screen reader.
        for (const char *name :
             {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "AT_SPI_BUS_ADDRESS", "XAUTHORITY"})
            m_environment.remove(QString::fromLatin1(name));
        QFile(m_runtime.path())
            .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        auto &xserver =
            spawn(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                   QStringLiteral("%1x%2x24").arg(kWidth).arg(kHeight)});
        m_display = readLine(xserver);
        QVERIFY2(!m_display.isEmpty(), "Xvfb did not report its display");
        m_display.prepend(u':');

        m_environment.insert(QStringLiteral("DISPLAY"), m_display);
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        m_environment.insert(QStringLiteral("HOME"), home);

        // The bus starts the accessibility bus on demand with its own environment, and that bus
        // announces itself on the root window of the display it finds there: this display, not
        // the one the test was started on (which other tests may share).
        auto &bus = spawn(QStringLiteral("dbus-daemon"),
                          {QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--print-address=1")});
        m_busAddress = readLine(bus);
        QVERIFY2(!m_busAddress.isEmpty(), "dbus-daemon did not report its address");
        m_environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);

        spawn(QStringLiteral("openbox"), {});
        // Openbox announces itself on the root window once it manages the screen.
        for (QDeadlineTimer deadline(20'000); !deadline.hasExpired(); QTest::qWait(50)) {
            if (run(QStringLiteral("xprop"),
                    {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                    .value_or(QByteArray())
                    .contains("window id"))
                return;
        }
        QFAIL("openbox did not start managing the screen");
    }

    QString busAddress() const { return m_busAddress; }

    // A key press as a user types it, into whichever window has the focus.
    void key(const QString &keys) const
    {
        QVERIFY(run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--delay"),
                                                QStringLiteral("60"), keys}));
    }

    // The whole screen as the X server holds it.
    QImage screenshot() const
    {
        xcb_connection_t *connection = xcb_connect(m_display.toLatin1().constData(), nullptr);
        if (xcb_connection_has_error(connection)) {
            xcb_disconnect(connection);
            return {};
        }
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        xcb_get_image_reply_t *reply = xcb_get_image_reply(
            connection,
            xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 0, 0,
                          screen->width_in_pixels, screen->height_in_pixels, ~0u),
            nullptr);
        QImage image;
        if (reply && xcb_get_image_data_length(reply) ==
                         int(screen->width_in_pixels) * screen->height_in_pixels * 4) {
            image = QImage(xcb_get_image_data(reply), screen->width_in_pixels,
                           screen->height_in_pixels, QImage::Format_RGB32)
                        .copy();
        }
        free(reply);
        xcb_disconnect(connection);
        return image;
    }

private:
    QTemporaryDir m_runtime;
    QString m_display;
    QString m_busAddress;
};

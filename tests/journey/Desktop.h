#pragma once

#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xcb.h>

#include <memory>
#include <optional>

// A private desktop for one test: an X server on a display number it picks itself, the Openbox
// window manager on it, and a session bus (with the accessibility bus it starts on demand). It
// ends them all, newest first, when it goes.
class Desktop
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
    ~Desktop()
    {
        for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it)
            stop(**it);
    }

    QProcessEnvironment environment() const { return m_environment; }
    QString busAddress() const { return m_busAddress; }

    // A program's standard output on this desktop; nothing when it failed.
    std::optional<QByteArray> run(const QString &program, const QStringList &arguments) const
    {
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.start(program, arguments);
        if (!process.waitForFinished(20'000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0)
            return std::nullopt;
        return process.readAllStandardOutput();
    }
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

    // Starts a program on this desktop that lives until it is stopped or the desktop goes;
    // `forwarded`: its output goes to the test's own, for the log of a failed run.
    QProcess &spawn(const QString &program, const QStringList &arguments,
                    const QProcessEnvironment &environment = {}, bool forwarded = false)
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment.isEmpty() ? m_environment : environment);
        if (forwarded)
            process->setProcessChannelMode(QProcess::ForwardedChannels);
        else
            process->setStandardErrorFile(QProcess::nullDevice());
        process->start(program, arguments);
        process->waitForStarted();
        m_processes.push_back(std::move(process));
        return *m_processes.back();
    }
    static void stop(QProcess &process)
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(5000);
    }

private:
    static QString readLine(QProcess &process)
    {
        QByteArray line;
        for (QDeadlineTimer deadline(20'000); !line.endsWith('\n') && !deadline.hasExpired();) {
            process.waitForReadyRead(100);
            line += process.readAllStandardOutput();
        }
        return line.endsWith('\n') ? QString::fromLatin1(line.trimmed()) : QString();
    }

    QTemporaryDir m_runtime;
    QString m_display;
    QString m_busAddress;
    QProcessEnvironment m_environment;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

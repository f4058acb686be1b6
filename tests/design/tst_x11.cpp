// On a real X server: a window system without a compositing manager gets an opaque window,
// and one with a compositing manager a translucent one.
#include "platform/ui/WindowSystem.h"

#include <QGuiApplication>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>

class TestX11 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void compositorDecidesTranslucency();
};

void TestX11::compositorDecidesTranslucency()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY(!Platform::WindowSystem::supportsTranslucency());

    // Stand in for a compositing manager: own the selection it owns.
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    QVERIFY(!xcb_connection_has_error(connection));
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t owner = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, owner, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    const char name[] = "_NET_WM_CM_S0";
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
    QVERIFY(atom);
    xcb_set_selection_owner(connection, owner, atom->atom, XCB_CURRENT_TIME);
    std::free(atom);
    // A round trip makes the server apply the request before we ask.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));

    QVERIFY(Platform::WindowSystem::supportsTranslucency());
    xcb_disconnect(connection);
    QTRY_VERIFY(!Platform::WindowSystem::supportsTranslucency());
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::puts("SKIP   : TestX11 needs an X server (the test command runs one with Xvfb)");
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    TestX11 test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_x11.moc"

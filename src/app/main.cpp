#include "app/OrvaneApp.h"

#include <QByteArray>

int main(int argc, char **argv)
{
    // The overlay needs to know the active window and to place a window above it, which a
    // Wayland session gives no ordinary client. Where XWayland is there (DISPLAY set), the
    // program runs on X11 like the desktop applications it follows; a platform chosen by the
    // user is left alone.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    App::OrvaneApp app(argc, argv);
    return app.run();
}

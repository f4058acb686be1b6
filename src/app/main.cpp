#include "app/OrvaneApp.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>
#include <vector>

int main(int argc, char **argv)
{
    // The overlay needs to know the active window and to place a window above it, which a
    // Wayland session gives no ordinary client. Where XWayland is there (DISPLAY set), the
    // program runs on X11 like the desktop applications it follows; a platform chosen by the
    // user is left alone. It is chosen on the command line given to Qt, not in the
    // environment, which every shell, terminal and application started from here inherits.
    std::vector<char *> arguments(argv, argv + argc);
    const bool platformGiven =
        std::any_of(arguments.begin(), arguments.end(),
                    [](const char *argument) { return std::strcmp(argument, "-platform") == 0; });
    char platformOption[] = "-platform";
    char xcb[] = "xcb";
    if (!platformGiven && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        !qEnvironmentVariableIsEmpty("DISPLAY"))
        arguments.insert(arguments.begin() + (argc > 0 ? 1 : 0), {platformOption, xcb});
    int count = int(arguments.size());
    arguments.push_back(nullptr);
    App::OrvaneApp app(count, arguments.data());
    return app.run();
}

#include "app/OrvaneApp.h"

int main(int argc, char **argv)
{
    App::OrvaneApp app(argc, argv);
    return app.run();
}

#include "app/OrvaneApp.h"

int main(int argc, char **argv)
{
    OrvaneApp app(argc, argv);
    return app.run();
}

// Stands in for a desktop application in the running-applications tests: it does nothing
// until a signal ends it, whatever its name and arguments.
#include <unistd.h>

int main()
{
    for (;;)
        ::pause();
}

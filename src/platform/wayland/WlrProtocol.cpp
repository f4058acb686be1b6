// The foreign-toplevel protocol's interface tables, which wayland-scanner writes as C. Its
// header comes first so that, compiled as C++, the tables keep external linkage.
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"
#include "wlr-foreign-toplevel-management-unstable-v1-protocol.c"

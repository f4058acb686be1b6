#include "manifest/Log.h"

namespace Manifest {

Q_LOGGING_CATEGORY(lcManifest, "orvane.manifest", QtInfoMsg)

} // namespace Manifest

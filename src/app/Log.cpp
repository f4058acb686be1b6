#include "app/Log.h"

namespace App {

Q_LOGGING_CATEGORY(lcApp, "orvane.app", QtInfoMsg)

} // namespace App

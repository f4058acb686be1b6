#pragma once

#include <QIcon>

namespace App {

namespace AppIcon {

// The app mark rendered at the sizes window managers and notification areas ask for.
QIcon icon();

} // namespace AppIcon

} // namespace App

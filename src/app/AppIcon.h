#pragma once

#include <QIcon>

namespace AppIcon {

// The app mark rendered at the sizes window managers and notification areas ask for.
QIcon icon();

} // namespace AppIcon

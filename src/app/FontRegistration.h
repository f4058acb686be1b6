#pragma once

#include <QStringList>

namespace App {

namespace FontRegistration {

// The Archivo faces the screens use, as resource names with the extension "ttf".
QStringList fontNames();

// Registers each face found in the application's resources for this process only. A missing
// file is skipped and a failed registration ignored, each with a warning; the count is for tests.
int registerFonts();

} // namespace FontRegistration

} // namespace App

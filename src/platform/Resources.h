#pragma once

#include <QString>

namespace Platform {

// The application's installed data files ("resources"): share/orvane/ beside the bin/ folder
// that holds the executable, in the build tree as in the installed tree.
namespace Resources {

QString directory();

// Full path of the resource NAME.EXTENSION, or an empty string when there is no such file.
QString path(const QString &name, const QString &extension);

// Tests point the lookup at a folder of their own; an empty string restores the default.
void setDirectoryOverride(const QString &directory);

} // namespace Resources

} // namespace Platform

#pragma once

#include <QString>

#include <cstdint>

namespace Platform {

// The file name of the program a process of this user runs (the last component of
// /proc/PID/exe, without the " (deleted)" mark of a program replaced since it started), or an
// empty string when it cannot be read.
QString processExecutableName(std::int64_t pid);

} // namespace Platform

#pragma once

#include <QString>

#include <optional>

namespace Setup {

// The Node.js version the user's login shell finds ("v20.11.0"), or nothing when it finds no
// `node` or the shell cannot be started. Blocks until the shell has ended: run it on a
// worker thread.
std::optional<QString> nodeVersion();

} // namespace Setup

#pragma once

#include "manifest/KnownHarness.h"
#include "platform/ActiveWindow.h"

#include <QString>

#include <functional>
#include <optional>

namespace Overlay {

// A desktop application the overlay follows, as the gateway and the pill know it.
struct DesktopHarness
{
    Manifest::KnownHarness id;
    QString label;   // shown in the pill
    QString surface; // sent to the gateway

    bool operator==(const DesktopHarness &) const = default;

    // The harness whose application owns the window: by either WM_CLASS field or the
    // application id, compared without regard to case; when none matches, by the name of the
    // program behind the window's process (`executableName`, given the pid). Any other window,
    // a terminal running the command-line tools included, has none.
    static std::optional<DesktopHarness>
    forWindow(const Platform::ActiveWindow &window,
              const std::function<QString(std::int64_t)> &executableName);
};

} // namespace Overlay

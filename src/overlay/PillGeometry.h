#pragma once

#include <QSize>

namespace Overlay {

// The pill's box, in device-independent pixels: the header row alone, or the header with the
// conversation's counters below it. The controller sizes the window by it, the window clips and
// the view paints to it.
struct PillGeometry
{
    static constexpr int width = 318;
    static constexpr int collapsedHeight = 58; // the header row
    static constexpr int expandedHeight = 188;
    static constexpr int cornerRadius = 14;

    static constexpr QSize size(bool expanded)
    {
        return {width, expanded ? expandedHeight : collapsedHeight};
    }
};

} // namespace Overlay

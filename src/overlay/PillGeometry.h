#pragma once

#include "usage/QuotaWindows.h"

#include <QSize>

namespace Overlay {

// The pill's box, in device-independent pixels: the header row alone, or the header with the
// conversation's counters below it, and a row for each quota window below those. The controller
// sizes the window by it, the window clips and the view paints to it.
struct PillGeometry
{
    static constexpr int width = 318;
    static constexpr int collapsedHeight = 58; // the header row
    static constexpr int expandedHeight = 188;
    static constexpr int quotaRowHeight = 28; // a quota window's text and bar, with its spacing
    static constexpr int cornerRadius = 14;

    static constexpr QSize size(bool expanded, int quotaRows = 0)
    {
        return {width, expanded ? expandedHeight + quotaRows * quotaRowHeight : collapsedHeight};
    }

    static int quotaRows(const Usage::QuotaWindows &quota)
    {
        return int(quota.primary.has_value()) + int(quota.secondary.has_value());
    }
};

} // namespace Overlay

#pragma once

#include <QRectF>
#include <QSizeF>

#include <optional>

namespace Overlay {

// Where the pill's pieces go, in the pill's own coordinates: for painting them and for telling
// which of them a change touches.
struct PillLayout
{
    static constexpr qreal headerPadding = 13;
    static constexpr qreal headerSpacing = 11;
    static constexpr qreal minimumGap = 4;
    static constexpr QSizeF chevronSize{9, 5};
    static constexpr qreal dotSize = 8;
    static constexpr qreal blockPaddingTop = 9;
    static constexpr qreal blockPaddingBottom = 11;
    static constexpr qreal rowSpacing = 6;
    static constexpr qreal contextSpacing = 4;
    static constexpr qreal barHeight = 3;
    static constexpr qreal minimumFill = 2;
    static constexpr qreal placeholderHeight = 108;

    // The header row: the glyph and the text column on the left, the chevron and the connection
    // dot on the right.
    struct Header
    {
        QRectF glyph;
        QRectF title;
        QRectF status;
        qreal chevronLeft = 0;
        QRectF dot;
    };

    // The usage block: four rows, the context section's divider, row and bar.
    struct Block
    {
        qreal rowHeight = 0;
        qreal rowsTop = 0;         // first of the four rows
        qreal dividerY = 0;        // the context section's divider line
        qreal contextRowTop = 0;   // "Context" and its value
        std::optional<QRectF> bar; // the context bar's track
        qreal bottom = 0;          // below the context row and its bar: where quota rows start
    };

    static Header header(QRectF row);
    static Block block(QRectF area, bool withBar);
    static QRectF usageRow(const Block &layout, QRectF area, int row);
};

} // namespace Overlay

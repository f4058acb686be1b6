#include "overlay/ui/PillLayout.h"

#include "design/Design.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace Overlay {

PillLayout::Header PillLayout::header(QRectF row)
{
    Header layout;
    const qreal centre = row.center().y();
    const qreal glyphWidth =
        QFontMetricsF(Design::system(21)).horizontalAdvance(QStringLiteral("\u2733"));
    qreal x = row.left() + headerPadding;
    layout.glyph = QRectF(x, row.top(), glyphWidth + 1, row.height());
    x += glyphWidth + headerSpacing;

    // Right side first: the dot at the padding, the chevron before it.
    const qreal dotLeft = row.right() + 1 - headerPadding - dotSize;
    layout.dot = QRectF(dotLeft, centre - dotSize / 2, dotSize, dotSize);
    layout.chevronLeft = dotLeft - headerSpacing - chevronSize.width();
    const qreal textRight = layout.chevronLeft - headerSpacing - minimumGap - headerSpacing;

    const qreal titleHeight = QFontMetricsF(Design::system(14, QFont::DemiBold)).height();
    const qreal statusHeight = QFontMetricsF(Design::system(12)).height();
    const qreal columnTop = std::round(centre - (titleHeight + 2 + statusHeight) / 2);
    const qreal textWidth = std::max<qreal>(0, textRight - x);
    layout.title = QRectF(x, columnTop, textWidth, titleHeight);
    layout.status = QRectF(x, columnTop + titleHeight + 2, textWidth, statusHeight);
    return layout;
}

PillLayout::Block PillLayout::block(QRectF area, bool withBar)
{
    Block layout;
    layout.rowHeight = std::ceil(QFontMetricsF(Design::system(11, QFont::Medium)).height());
    const qreal divider = 2 + 1 + 2;
    const qreal height = 4 * layout.rowHeight + 3 * rowSpacing + rowSpacing + divider +
                         contextSpacing + layout.rowHeight +
                         (withBar ? contextSpacing + barHeight : 0);
    // The column is centred in the block, as a stack with free room above and below would be.
    qreal y = std::round(area.top() + std::max<qreal>(0, (area.height() - height) / 2));
    layout.rowsTop = y;
    y += 4 * layout.rowHeight + 3 * rowSpacing + rowSpacing;
    layout.dividerY = y + 2;
    y += divider + contextSpacing;
    layout.contextRowTop = y;
    y += layout.rowHeight + contextSpacing;
    layout.bottom = y - contextSpacing;
    if (withBar) {
        layout.bar = QRectF(area.left(), y, area.width(), barHeight);
        layout.bottom = layout.bar->bottom();
    }
    return layout;
}

QRectF PillLayout::usageRow(const Block &layout, QRectF area, int row)
{
    return QRectF(area.left(), layout.rowsTop + row * (layout.rowHeight + rowSpacing), area.width(),
                  layout.rowHeight);
}

} // namespace Overlay

#include "overlay/ui/OverlayPillView.h"

#include "design/Design.h"
#include "overlay/OverlayState.h"
#include "overlay/OverlayTexts.h"
#include "overlay/PillGeometry.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <vector>

namespace Overlay {

namespace {

QColor rgb(double red, double green, double blue, double alpha = 1.0)
{
    return QColor::fromRgbF(float(red), float(green), float(blue), float(alpha));
}

QColor white(double alpha)
{
    return rgb(1, 1, 1, alpha);
}

// The dimmed foreground of secondary text on the dark pill.
QColor secondary()
{
    return white(0.55);
}

QColor accent()
{
    return rgb(0.85, 0.43, 0.31);
}

// The system's usual "connected" green and neutral grey on a dark surface.
QColor dotGreen()
{
    return QColor(48, 209, 88);
}

QColor dotGrey()
{
    return QColor(142, 142, 147);
}

// Without a compositor nothing shows through, so the pill is an opaque near-black.
QColor opaqueBackground()
{
    return QColor(24, 24, 26);
}

constexpr qreal headerPadding = 13;
constexpr qreal headerSpacing = 11;
constexpr qreal minimumGap = 4;
constexpr QSizeF chevronSize{9, 5};
constexpr qreal dotSize = 8;
constexpr qreal blockPaddingTop = 9;
constexpr qreal blockPaddingBottom = 11;
constexpr qreal rowSpacing = 6;
constexpr qreal contextSpacing = 4;
constexpr qreal barHeight = 3;
constexpr qreal minimumFill = 2;
constexpr qreal placeholderHeight = 108;

// The shadow: black at 35 %, 14 of blur, 7 down.
constexpr double shadowAlpha = 0.35;
constexpr qreal shadowBlur = 14;
constexpr qreal shadowOffset = 7;

struct Counter
{
    const char *label;
    std::int64_t Usage::TokenUsage::*field;
    QColor tint;
};

// Where the pieces of the usage block go, for painting and for the bar's geometry.
struct UsageLayout
{
    qreal rowHeight = 0;
    qreal rowsTop = 0;         // first of the four rows
    qreal dividerY = 0;        // the context section's divider line
    qreal contextRowTop = 0;   // "Context" and its value
    std::optional<QRectF> bar; // the context bar's track
    qreal bottom = 0;          // below the context row and its bar: where quota rows start
};

UsageLayout usageLayout(QRectF block, bool withBar)
{
    UsageLayout layout;
    layout.rowHeight = std::ceil(QFontMetricsF(Design::system(11, QFont::Medium)).height());
    const qreal divider = 2 + 1 + 2;
    const qreal height = 4 * layout.rowHeight + 3 * rowSpacing + rowSpacing + divider +
                         contextSpacing + layout.rowHeight +
                         (withBar ? contextSpacing + barHeight : 0);
    // The column is centred in the block, as a stack with free room above and below would be.
    qreal y = std::round(block.top() + std::max<qreal>(0, (block.height() - height) / 2));
    layout.rowsTop = y;
    y += 4 * layout.rowHeight + 3 * rowSpacing + rowSpacing;
    layout.dividerY = y + 2;
    y += divider + contextSpacing;
    layout.contextRowTop = y;
    y += layout.rowHeight + contextSpacing;
    layout.bottom = y - contextSpacing;
    if (withBar) {
        layout.bar = QRectF(block.left(), y, block.width(), barHeight);
        layout.bottom = layout.bar->bottom();
    }
    return layout;
}

// A share as a thin bar on its track: red once nearly full.
void paintBar(QPainter &painter, QRectF track, double fraction)
{
    const qreal radius = track.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(white(0.13));
    painter.drawRoundedRect(track, radius, radius);
    const qreal width = std::max(minimumFill, track.width() * fraction);
    painter.setBrush(fraction > 0.85 ? rgb(0.93, 0.45, 0.40) : accent());
    painter.drawRoundedRect(QRectF(track.topLeft(), QSizeF(width, track.height())), radius, radius);
}

// Alpha-only box blur, three passes each way: close to a Gaussian of the same spread.
void blurAlpha(QImage &image, int radius)
{
    if (radius < 1)
        return;
    const int width = image.width();
    const int height = image.height();
    std::vector<int> line(std::max(width, height));
    const auto pass = [&](int count, int length, auto at) {
        for (int i = 0; i < count; ++i) {
            for (int j = 0; j < length; ++j)
                line[j] = at(i, j);
            int sum = 0;
            for (int j = -radius; j <= radius; ++j)
                sum += line[std::clamp(j, 0, length - 1)];
            for (int j = 0; j < length; ++j) {
                at(i, j) = uchar(sum / (2 * radius + 1));
                sum += line[std::min(j + radius + 1, length - 1)] - line[std::max(j - radius, 0)];
            }
        }
    };
    for (int round = 0; round < 3; ++round) {
        pass(height, width, [&](int y, int x) -> uchar & { return image.scanLine(y)[x]; });
        pass(width, height, [&](int x, int y) -> uchar & { return image.scanLine(y)[x]; });
    }
}

} // namespace

OverlayPillView::OverlayPillView(OverlayState &state, bool translucent, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
    , m_translucent(translucent)
    , m_pillSize(pillSize())
{
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    setAttribute(Qt::WA_OpaquePaintEvent, !translucent);
    connect(&m_state, &OverlayState::changed, this, &OverlayPillView::onStateChanged);
    // The header is painted, so a screen reader gets its two lines as the name and description.
    setAccessibleName(QStringLiteral("Orvane"));
    setAccessibleDescription(m_state.statusLine());
}

void OverlayPillView::setTranslucent(bool translucent)
{
    if (translucent == m_translucent)
        return;
    m_translucent = translucent;
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    setAttribute(Qt::WA_OpaquePaintEvent, !translucent);
    m_shadow = {};
    updateGeometry();
    update();
}

QMargins OverlayPillView::shadowMargins() const
{
    // The blur fades out about 1.4 times its radius beyond the shape; the offset shifts it
    // downwards.
    if (!m_translucent)
        return {};
    const int spread = qRound(shadowBlur * 1.4);
    const int offset = qRound(shadowOffset);
    return {spread, spread - offset, spread, spread + offset};
}

QSize OverlayPillView::pillSize() const
{
    return PillGeometry::size(m_state.snapshot().expanded,
                              PillGeometry::quotaRows(m_state.snapshot().quota));
}

QRect OverlayPillView::pillRect() const
{
    return rect().marginsRemoved(shadowMargins());
}

std::optional<QRectF> OverlayPillView::contextBarRect() const
{
    const std::optional<Usage::TokenUsage> &usage = m_state.shownUsage();
    if (!m_state.snapshot().expanded || !usage || usage->total() < 1 || !usage->contextFraction())
        return std::nullopt;
    const QRectF pill(pillRect());
    const qreal top = pill.top() + PillGeometry::collapsedHeight + 1 + blockPaddingTop;
    return usageLayout(usageBlock(pill, top), true).bar;
}

QRectF OverlayPillView::usageBlock(QRectF pill, qreal top) const
{
    const qreal quota = PillGeometry::quotaRows(m_state.snapshot().quota) *
                        PillGeometry::quotaRowHeight;
    return QRectF(pill.left() + headerPadding, top, pill.width() - 2 * headerPadding,
                  pill.bottom() + 1 - blockPaddingBottom - top - quota);
}

QSize OverlayPillView::sizeHint() const
{
    return pillSize().grownBy(shadowMargins());
}

QSize OverlayPillView::minimumSizeHint() const
{
    return sizeHint();
}

void OverlayPillView::onStateChanged()
{
    if (pillSize() != m_pillSize) {
        m_pillSize = pillSize();
        updateGeometry();
    }
    // Only a new text is announced: the state changes sixty times a second while counting.
    if (const QString line = m_state.statusLine(); line != accessibleDescription())
        setAccessibleDescription(line);
    update();
}

void OverlayPillView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_translucent) {
        // The window system clears a translucent window before it is painted; whatever lies
        // behind shows through the margin around the shadow.
        paintShadow(painter);
    } else {
        // Whatever the mask leaves of the corners is as dark as the pill.
        painter.fillRect(rect(), opaqueBackground());
    }

    const QRectF pill(pillRect());
    QPainterPath shape;
    shape.addRoundedRect(pill, PillGeometry::cornerRadius, PillGeometry::cornerRadius);
    painter.fillPath(shape,
                     m_translucent ? QColor(0, 0, 0, qRound(0.88 * 255)) : opaqueBackground());

    painter.save();
    painter.setClipPath(shape);
    paintHeader(painter, QRectF(pill.topLeft(), QSizeF(pill.width(), PillGeometry::collapsedHeight)));
    if (m_state.snapshot().expanded && pill.height() > PillGeometry::collapsedHeight) {
        painter.fillRect(QRectF(pill.left(), pill.top() + PillGeometry::collapsedHeight, pill.width(), 1),
                         white(0.12));
        const qreal top = pill.top() + PillGeometry::collapsedHeight + 1 + blockPaddingTop;
        const QRectF block = usageBlock(pill, top);
        const qreal quotaTop = paintUsage(painter, block);
        paintQuota(painter, QRectF(block.left(), quotaTop, block.width(),
                                   pill.bottom() + 1 - blockPaddingBottom - quotaTop));
    }
    painter.restore();

    // The outline's 1-point stroke lies just inside the pill's box.
    QPainterPath outline;
    outline.addRoundedRect(pill.adjusted(0.5, 0.5, -0.5, -0.5), PillGeometry::cornerRadius - 0.5,
                           PillGeometry::cornerRadius - 0.5);
    painter.setPen(QPen(white(0.14), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(outline);
}

void OverlayPillView::paintShadow(QPainter &painter)
{
    const qreal scale = devicePixelRatioF();
    const QSize deviceSize = (QSizeF(size()) * scale).toSize();
    if (m_shadow.size() != deviceSize || m_shadow.devicePixelRatio() != scale) {
        m_shadow = QImage(deviceSize, QImage::Format_Alpha8);
        m_shadow.fill(0);
        {
            QPainter shapePainter(&m_shadow);
            shapePainter.setRenderHint(QPainter::Antialiasing);
            shapePainter.scale(scale, scale);
            QPainterPath shape;
            shape.addRoundedRect(QRectF(pillRect()).translated(0, shadowOffset), PillGeometry::cornerRadius,
                                 PillGeometry::cornerRadius);
            shapePainter.fillPath(shape, QColor(0, 0, 0, qRound(shadowAlpha * 255)));
        }
        // A blur "radius" of 14 reads as a Gaussian of about half that spread; three box passes
        // of this size come close to it.
        blurAlpha(m_shadow, qRound(shadowBlur / 2 * scale * 0.9));
        m_shadow.setDevicePixelRatio(scale);
    }
    painter.drawImage(QPointF(0, 0), m_shadow);
}

void OverlayPillView::paintHeader(QPainter &painter, QRectF header)
{
    const qreal centre = header.center().y();

    const QFont glyphFont = Design::system(21);
    const QString glyph = QStringLiteral("\u2733");
    const qreal glyphWidth = QFontMetricsF(glyphFont).horizontalAdvance(glyph);
    qreal x = header.left() + headerPadding;
    painter.setFont(glyphFont);
    painter.setPen(accent());
    painter.drawText(QRectF(x, header.top(), glyphWidth + 1, header.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, glyph);
    x += glyphWidth + headerSpacing;

    // Right side first: the dot at the padding, the chevron before it.
    const qreal dotLeft = header.right() + 1 - headerPadding - dotSize;
    const qreal chevronLeft = dotLeft - headerSpacing - chevronSize.width();
    const qreal textRight = chevronLeft - headerSpacing - minimumGap - headerSpacing;

    const QFont titleFont = Design::system(14, QFont::DemiBold);
    const QFont statusFont = Design::system(12);
    const QFontMetricsF titleMetrics(titleFont);
    const QFontMetricsF statusMetrics(statusFont);
    const qreal titleHeight = titleMetrics.height();
    const qreal statusHeight = statusMetrics.height();
    const qreal columnTop = std::round(centre - (titleHeight + 2 + statusHeight) / 2);
    const qreal textWidth = std::max<qreal>(0, textRight - x);
    painter.setFont(titleFont);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(x, columnTop, textWidth, titleHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     titleMetrics.elidedText(QStringLiteral("Orvane"), Qt::ElideRight, textWidth));
    painter.setFont(statusFont);
    painter.setPen(secondary());
    painter.drawText(QRectF(x, columnTop + titleHeight + 2, textWidth, statusHeight),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     statusMetrics.elidedText(m_state.statusLine(), Qt::ElideRight, textWidth));

    // The chevron points up while expanded, down while collapsed.
    const qreal chevronTop = centre - chevronSize.height() / 2;
    const qreal tip = m_state.snapshot().expanded ? chevronTop : chevronTop + chevronSize.height();
    const qreal ends = m_state.snapshot().expanded ? chevronTop + chevronSize.height() : chevronTop;
    QPainterPath chevron;
    chevron.moveTo(chevronLeft, ends);
    chevron.lineTo(chevronLeft + chevronSize.width() / 2, tip);
    chevron.lineTo(chevronLeft + chevronSize.width(), ends);
    painter.setPen(QPen(white(0.40), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(chevron);

    painter.setPen(Qt::NoPen);
    painter.setBrush(m_state.snapshot().connected ? dotGreen() : dotGrey());
    painter.drawEllipse(QRectF(dotLeft, centre - dotSize / 2, dotSize, dotSize));
}

qreal OverlayPillView::paintUsage(QPainter &painter, QRectF block)
{
    const std::optional<Usage::TokenUsage> &shown = m_state.shownUsage();
    const QFont labelFont = Design::system(11);
    const QFont valueFont = Design::system(11, QFont::Medium);

    if (!shown || shown->total() < 1) {
        const QRectF area(block.left(), block.top(), block.width(),
                          std::min(placeholderHeight, block.height()));
        painter.setFont(labelFont);
        painter.setPen(secondary());
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("No turns recorded yet"));
        return block.bottom();
    }

    const Usage::TokenUsage &usage = *shown;
    const std::optional<double> fraction = usage.contextFraction();
    const UsageLayout layout = usageLayout(block, fraction.has_value());
    const Counter counters[] = {
        {"Cache read", &Usage::TokenUsage::cacheRead, rgb(0.42, 0.72, 0.95)},
        {"Cache write", &Usage::TokenUsage::cacheWrite, rgb(0.95, 0.66, 0.30)},
        {"Input", &Usage::TokenUsage::freshInput, white(0.55)},
        {"Output", &Usage::TokenUsage::output, rgb(0.55, 0.85, 0.58)},
    };
    qreal y = layout.rowsTop;
    for (const Counter &counter : counters) {
        const QRectF row(block.left(), y, block.width(), layout.rowHeight);
        painter.setPen(Qt::NoPen);
        painter.setBrush(counter.tint);
        painter.drawEllipse(QRectF(row.left(), row.center().y() - 2.5, 5, 5));
        painter.setFont(labelFont);
        painter.setPen(secondary());
        painter.drawText(row.adjusted(5 + 8, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromLatin1(counter.label));
        painter.setFont(valueFont);
        painter.setPen(Qt::white);
        painter.drawText(row, Qt::AlignRight | Qt::AlignVCenter,
                         OverlayState::format(usage.*counter.field));
        y += layout.rowHeight + rowSpacing;
    }

    painter.fillRect(QRectF(block.left(), layout.dividerY, block.width(), 1), white(0.10));
    const QRectF contextRow(block.left(), layout.contextRowTop, block.width(), layout.rowHeight);
    painter.setFont(valueFont);
    painter.setPen(Qt::white);
    painter.drawText(contextRow, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Context"));
    painter.drawText(contextRow, Qt::AlignRight | Qt::AlignVCenter, contextValueText(usage));

    if (layout.bar && fraction)
        paintBar(painter, *layout.bar, *fraction);
    return layout.bottom;
}

// One row per quota window below the context bar: its name, the share used and when it resets,
// over a thin bar in the context bar's colours.
void OverlayPillView::paintQuota(QPainter &painter, QRectF area)
{
    const Usage::QuotaWindows &quota = m_state.snapshot().quota;
    qreal y = area.top();
    for (const auto &window : {quota.primary, quota.secondary}) {
        if (!window)
            continue;
        const qreal rowHeight = PillGeometry::quotaRowHeight - rowSpacing - contextSpacing - barHeight;
        const QRectF row(area.left(), y + rowSpacing, area.width(), rowHeight);
        painter.setFont(Design::system(11));
        painter.setPen(secondary());
        painter.drawText(row, Qt::AlignLeft | Qt::AlignVCenter,
                         quotaWindowLabel(window->windowMinutes));
        painter.setFont(Design::system(11, QFont::Medium));
        painter.setPen(Qt::white);
        painter.drawText(row, Qt::AlignRight | Qt::AlignVCenter, m_state.quotaValue(*window));
        paintBar(painter,
                 QRectF(area.left(), row.bottom() + contextSpacing, area.width(), barHeight),
                 window->usedPercent / 100.0);
        y += PillGeometry::quotaRowHeight;
    }
}

} // namespace Overlay

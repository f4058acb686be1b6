#include "overlay/ui/OverlayPillView.h"

#include "design/Design.h"
#include "overlay/OverlayState.h"
#include "overlay/OverlayTexts.h"
#include "overlay/PillGeometry.h"
#include "overlay/ui/PillLayout.h"

#include <QFontMetricsF>
#include <QPaintEvent>
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

// A share as a thin bar on its track: red once nearly full.
void paintBar(QPainter &painter, QRectF track, double fraction)
{
    const qreal radius = track.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(white(0.13));
    painter.drawRoundedRect(track, radius, radius);
    const qreal width = std::max(PillLayout::minimumFill, track.width() * fraction);
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

const Counter &counter(int row)
{
    static const Counter counters[] = {
        {"Cache read", &Usage::TokenUsage::cacheRead, rgb(0.42, 0.72, 0.95)},
        {"Cache write", &Usage::TokenUsage::cacheWrite, rgb(0.95, 0.66, 0.30)},
        {"Input", &Usage::TokenUsage::freshInput, white(0.55)},
        {"Output", &Usage::TokenUsage::output, rgb(0.55, 0.85, 0.58)},
    };
    return counters[row];
}

// What a bar shows, to tell whether it changed.
QString barContent(QRectF track, double fraction)
{
    return QString::number(std::max(PillLayout::minimumFill, track.width() * fraction), 'f', 2) +
           (fraction > 0.85 ? u'r' : u'o');
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
    const qreal top = pill.top() + PillGeometry::collapsedHeight + 1 + PillLayout::blockPaddingTop;
    return PillLayout::block(usageBlock(pill, top), true).bar;
}

QRectF OverlayPillView::usageBlock(QRectF pill, qreal top) const
{
    const qreal quota =
        PillGeometry::quotaRows(m_state.snapshot().quota) * PillGeometry::quotaRowHeight;
    return QRectF(pill.left() + PillLayout::headerPadding, top,
                  pill.width() - 2 * PillLayout::headerPadding,
                  pill.bottom() + 1 - PillLayout::blockPaddingBottom - top - quota);
}

void OverlayPillView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // All of it is painted anew at the new size; changes are told apart from there.
    m_pieces = pieces();
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
    std::vector<Piece> now = pieces();
    const bool samePieces =
        now.size() == m_pieces.size() &&
        std::equal(now.begin(), now.end(), m_pieces.begin(),
                   [](const Piece &a, const Piece &b) { return a.rect == b.rect; });
    if (m_repaintEverything || !samePieces) {
        update();
    } else {
        for (std::size_t at = 0; at < now.size(); ++at) {
            if (now[at].content != m_pieces[at].content)
                update(now[at].rect);
        }
    }
    m_pieces = std::move(now);
}

std::vector<OverlayPillView::Piece> OverlayPillView::pieces() const
{
    std::vector<Piece> all;
    const QRectF pill(pillRect());
    const PillLayout::Header header = PillLayout::header(
        QRectF(pill.topLeft(), QSizeF(pill.width(), PillGeometry::collapsedHeight)));
    all.push_back({header.status.toAlignedRect(), m_state.statusLine()});
    all.push_back({header.dot.toAlignedRect(),
                   m_state.snapshot().connected ? QStringLiteral("on") : QStringLiteral("off")});
    if (!m_state.snapshot().expanded)
        return all;
    const qreal top = pill.top() + PillGeometry::collapsedHeight + 1 + PillLayout::blockPaddingTop;
    const QRectF block = usageBlock(pill, top);
    const std::optional<Usage::TokenUsage> &shown = m_state.shownUsage();
    qreal y = block.bottom(); // where the quota rows start
    if (!shown || shown->total() < 1) {
        all.push_back({block.toAlignedRect(), {}});
    } else {
        const std::optional<double> fraction = shown->contextFraction();
        const PillLayout::Block layout = PillLayout::block(block, fraction.has_value());
        y = layout.bottom;
        for (int row = 0; row < 4; ++row)
            all.push_back({PillLayout::usageRow(layout, block, row).toAlignedRect(),
                           OverlayState::format((*shown).*counter(row).field)});
        all.push_back({QRectF(block.left(), layout.contextRowTop, block.width(), layout.rowHeight)
                           .toAlignedRect(),
                       contextValueText(*shown)});
        if (layout.bar && fraction)
            all.push_back({layout.bar->toAlignedRect(), barContent(*layout.bar, *fraction)});
    }
    const Usage::QuotaWindows &quota = m_state.snapshot().quota;
    for (const auto &window : {quota.primary, quota.secondary}) {
        if (!window)
            continue;
        const QRectF row(block.left(), y, block.width(), PillGeometry::quotaRowHeight);
        all.push_back({row.toAlignedRect(), quotaWindowLabel(window->windowMinutes) + u'|' +
                                                m_state.quotaValue(*window) + u'|' +
                                                barContent(row, window->usedPercent / 100.0)});
        y += PillGeometry::quotaRowHeight;
    }
    return all;
}

void OverlayPillView::paintEvent(QPaintEvent *event)
{
    const QRegion dirty = m_repaintEverything ? QRegion(rect()) : event->region();
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
    paintHeader(painter,
                QRectF(pill.topLeft(), QSizeF(pill.width(), PillGeometry::collapsedHeight)), dirty);
    if (m_state.snapshot().expanded && pill.height() > PillGeometry::collapsedHeight) {
        painter.fillRect(
            QRectF(pill.left(), pill.top() + PillGeometry::collapsedHeight, pill.width(), 1),
            white(0.12));
        const qreal top =
            pill.top() + PillGeometry::collapsedHeight + 1 + PillLayout::blockPaddingTop;
        const QRectF block = usageBlock(pill, top);
        const qreal quotaTop = paintUsage(painter, block, dirty);
        paintQuota(painter,
                   QRectF(block.left(), quotaTop, block.width(),
                          pill.bottom() + 1 - PillLayout::blockPaddingBottom - quotaTop),
                   dirty);
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
            shape.addRoundedRect(QRectF(pillRect()).translated(0, shadowOffset),
                                 PillGeometry::cornerRadius, PillGeometry::cornerRadius);
            shapePainter.fillPath(shape, QColor(0, 0, 0, qRound(shadowAlpha * 255)));
        }
        // A blur "radius" of 14 reads as a Gaussian of about half that spread; three box passes
        // of this size come close to it.
        blurAlpha(m_shadow, qRound(shadowBlur / 2 * scale * 0.9));
        m_shadow.setDevicePixelRatio(scale);
    }
    painter.drawImage(QPointF(0, 0), m_shadow);
}

// Only what lies in DIRTY is painted: the rest of the widget is kept as it was.
void OverlayPillView::paintHeader(QPainter &painter, QRectF header, const QRegion &dirty)
{
    const PillLayout::Header layout = PillLayout::header(header);
    const auto needed = [&](QRectF area) { return dirty.intersects(area.toAlignedRect()); };
    if (needed(layout.glyph)) {
        painter.setFont(Design::system(21));
        painter.setPen(accent());
        painter.drawText(layout.glyph, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("\u2733"));
    }
    if (needed(layout.title)) {
        const QFont titleFont = Design::system(14, QFont::DemiBold);
        painter.setFont(titleFont);
        painter.setPen(Qt::white);
        painter.drawText(layout.title, Qt::AlignLeft | Qt::AlignVCenter,
                         QFontMetricsF(titleFont).elidedText(QStringLiteral("Orvane"),
                                                             Qt::ElideRight, layout.title.width()));
    }
    if (needed(layout.status)) {
        if (m_repaintEverything) {
            const QFont statusFont = Design::system(12);
            painter.setFont(statusFont);
            painter.setPen(secondary());
            painter.drawText(
                layout.status, Qt::AlignLeft | Qt::AlignVCenter,
                QFontMetricsF(statusFont)
                    .elidedText(m_state.statusLine(), Qt::ElideRight, layout.status.width()));
        } else {
            paintStatusLine(painter, layout.status);
        }
    }

    // The chevron points up while expanded, down while collapsed.
    const qreal centre = header.center().y();
    const qreal chevronTop = centre - PillLayout::chevronSize.height() / 2;
    if (needed(QRectF(QPointF(layout.chevronLeft, chevronTop), PillLayout::chevronSize)
                   .adjusted(-2, -2, 2, 2))) {
        const qreal left = layout.chevronLeft;
        const qreal tip = m_state.snapshot().expanded
                              ? chevronTop
                              : chevronTop + PillLayout::chevronSize.height();
        const qreal ends = m_state.snapshot().expanded
                               ? chevronTop + PillLayout::chevronSize.height()
                               : chevronTop;
        QPainterPath chevron;
        chevron.moveTo(left, ends);
        chevron.lineTo(left + PillLayout::chevronSize.width() / 2, tip);
        chevron.lineTo(left + PillLayout::chevronSize.width(), ends);
        painter.setPen(QPen(white(0.40), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(chevron);
    }

    if (needed(layout.dot)) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_state.snapshot().connected ? dotGreen() : dotGrey());
        painter.drawEllipse(layout.dot);
    }
}

// The status line from its image, made once per text (and width and scale): laying it out and
// drawing its colour emoji cost more than anything else the pill paints. The image starts on a
// whole device pixel; the text lies in it where it would have been drawn directly.
void OverlayPillView::paintStatusLine(QPainter &painter, QRectF area)
{
    // The device's own scale: a rendering into an image may have another than the screen.
    const qreal scale = painter.device()->devicePixelRatioF();
    const QPointF origin(std::floor(area.left() * scale) / scale,
                         std::floor(area.top() * scale) / scale);
    const QString text = m_state.statusLine();
    const auto matches = [&](const StatusImage &each) {
        return each.text == text && each.area == area && each.scale == scale;
    };
    auto cached = std::find_if(m_statusImages.begin(), m_statusImages.end(), matches);
    if (cached == m_statusImages.end()) {
        // In place of the oldest.
        cached = m_statusImages.begin() + std::ptrdiff_t(m_nextStatusImage);
        m_nextStatusImage = (m_nextStatusImage + 1) % m_statusImages.size();
        const QSizeF size = area.size() + QSizeF(1, 1);
        cached->image = QImage((size * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
        cached->image.setDevicePixelRatio(scale);
        cached->image.fill(Qt::transparent);
        QPainter imagePainter(&cached->image);
        const QFont font = Design::system(12);
        imagePainter.setFont(font);
        imagePainter.setPen(secondary());
        imagePainter.drawText(area.translated(-origin), Qt::AlignLeft | Qt::AlignVCenter,
                              QFontMetricsF(font).elidedText(text, Qt::ElideRight, area.width()));
        cached->text = text;
        cached->area = area;
        cached->scale = scale;
    }
    painter.drawImage(origin, cached->image);
}

qreal OverlayPillView::paintUsage(QPainter &painter, QRectF block, const QRegion &dirty)
{
    const auto needed = [&](QRectF area) { return dirty.intersects(area.toAlignedRect()); };
    const std::optional<Usage::TokenUsage> &shown = m_state.shownUsage();
    const QFont labelFont = Design::system(11);
    const QFont valueFont = Design::system(11, QFont::Medium);

    if (!shown || shown->total() < 1) {
        const QRectF area(block.left(), block.top(), block.width(),
                          std::min(PillLayout::placeholderHeight, block.height()));
        if (!needed(area))
            return block.bottom();
        painter.setFont(labelFont);
        painter.setPen(secondary());
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("No turns recorded yet"));
        return block.bottom();
    }

    const Usage::TokenUsage &usage = *shown;
    const std::optional<double> fraction = usage.contextFraction();
    const PillLayout::Block layout = PillLayout::block(block, fraction.has_value());
    for (int at = 0; at < 4; ++at) {
        const QRectF row = PillLayout::usageRow(layout, block, at);
        if (!needed(row))
            continue;
        painter.setPen(Qt::NoPen);
        painter.setBrush(counter(at).tint);
        painter.drawEllipse(QRectF(row.left(), row.center().y() - 2.5, 5, 5));
        painter.setFont(labelFont);
        painter.setPen(secondary());
        painter.drawText(row.adjusted(5 + 8, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromLatin1(counter(at).label));
        painter.setFont(valueFont);
        painter.setPen(Qt::white);
        painter.drawText(row, Qt::AlignRight | Qt::AlignVCenter,
                         OverlayState::format(usage.*counter(at).field));
    }

    const QRectF divider(block.left(), layout.dividerY, block.width(), 1);
    if (needed(divider))
        painter.fillRect(divider, white(0.10));
    const QRectF contextRow(block.left(), layout.contextRowTop, block.width(), layout.rowHeight);
    if (needed(contextRow)) {
        painter.setFont(valueFont);
        painter.setPen(Qt::white);
        painter.drawText(contextRow, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Context"));
        painter.drawText(contextRow, Qt::AlignRight | Qt::AlignVCenter, contextValueText(usage));
    }

    if (layout.bar && fraction && needed(*layout.bar))
        paintBar(painter, *layout.bar, *fraction);
    return layout.bottom;
}

// One row per quota window below the context bar: its name, the share used and when it resets,
// over a thin bar in the context bar's colours.
void OverlayPillView::paintQuota(QPainter &painter, QRectF area, const QRegion &dirty)
{
    const Usage::QuotaWindows &quota = m_state.snapshot().quota;
    qreal y = area.top();
    for (const auto &window : {quota.primary, quota.secondary}) {
        if (!window)
            continue;
        if (!dirty.intersects(QRectF(area.left(), y, area.width(), PillGeometry::quotaRowHeight)
                                  .toAlignedRect())) {
            y += PillGeometry::quotaRowHeight;
            continue;
        }
        const qreal rowHeight = PillGeometry::quotaRowHeight - PillLayout::rowSpacing -
                                PillLayout::contextSpacing - PillLayout::barHeight;
        const QRectF row(area.left(), y + PillLayout::rowSpacing, area.width(), rowHeight);
        painter.setFont(Design::system(11));
        painter.setPen(secondary());
        painter.drawText(row, Qt::AlignLeft | Qt::AlignVCenter,
                         quotaWindowLabel(window->windowMinutes));
        painter.setFont(Design::system(11, QFont::Medium));
        painter.setPen(Qt::white);
        painter.drawText(row, Qt::AlignRight | Qt::AlignVCenter, m_state.quotaValue(*window));
        paintBar(painter,
                 QRectF(area.left(), row.bottom() + PillLayout::contextSpacing, area.width(),
                        PillLayout::barHeight),
                 window->usedPercent / 100.0);
        y += PillGeometry::quotaRowHeight;
    }
}

} // namespace Overlay

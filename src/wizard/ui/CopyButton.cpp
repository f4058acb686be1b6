#include "wizard/ui/CopyButton.h"

#include "design/Design.h"

#include <QPainter>
#include <QPainterPath>

namespace Wizard {

CopyButton::CopyButton(const QString &command, QWidget *parent)
    : FocusRingButton(parent)
{
    setText(command);
    setFont(Design::system(14, QFont::Normal, true));
    // May shrink to minimumSizeHint() when the row is short of room.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAccessibleName(command);
    setAccessibleDescription(QStringLiteral("Copy to clipboard"));
    setToolTip(QStringLiteral("Copy to clipboard"));
}

void CopyButton::setCopied(bool copied)
{
    if (m_copied == copied)
        return;
    m_copied = copied;
    setAccessibleDescription(copied ? QStringLiteral("Copied") : QStringLiteral("Copy to clipboard"));
    update();
}

QFont CopyButton::markFont() const
{
    return Design::system(12);
}

// The mark is as tall as the capitals of a 12-point label.
int CopyButton::markSize() const
{
    return QFontMetrics(markFont()).capHeight() + 2;
}

QSize CopyButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + markGap + markSize() + 2, metrics.height() + 2};
}

QSize CopyButton::minimumSizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(QStringLiteral("orv \u2026")) + markGap + markSize() + 2,
            metrics.height() + 2};
}

void CopyButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor colour = Design::muted();
    if (isDown())
        colour = Design::ink();

    const QFontMetrics metrics(font());
    painter.setFont(font());
    painter.setPen(colour);
    const int room = width() - markGap - markSize() - 2;
    const QString shown = metrics.horizontalAdvance(text()) <= room
                              ? text()
                              : metrics.elidedText(text(), Qt::ElideRight, room);
    const int textWidth = metrics.horizontalAdvance(shown);
    painter.drawText(QRect(0, 0, textWidth, height()), Qt::AlignLeft | Qt::AlignVCenter, shown);

    const qreal size = markSize();
    const QRectF box(textWidth + markGap, (height() - size) / 2.0, size, size);
    QPen pen(colour, 1.3);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    if (m_copied) {
        QPainterPath check;
        check.moveTo(box.left() + 0.08 * size, box.top() + 0.55 * size);
        check.lineTo(box.left() + 0.38 * size, box.top() + 0.85 * size);
        check.lineTo(box.left() + 0.95 * size, box.top() + 0.12 * size);
        painter.drawPath(check);
    } else {
        // Two squares, the front one lower right, the back one showing only its corner.
        const qreal side = 0.72 * size;
        const QRectF front(box.right() - side, box.bottom() - side, side, side);
        const QRectF back(box.left(), box.top(), side, side);
        painter.drawRoundedRect(front, 1.5, 1.5);
        QPainterPath corner;
        corner.moveTo(front.left(), back.bottom());
        corner.lineTo(back.left(), back.bottom());
        corner.lineTo(back.left(), back.top());
        corner.lineTo(back.right(), back.top());
        corner.lineTo(back.right(), front.top());
        painter.drawPath(corner);
    }

    drawFocusRing(painter, QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), colour, 1.0);
}

} // namespace Wizard

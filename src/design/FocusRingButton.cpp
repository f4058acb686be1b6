#include "design/FocusRingButton.h"

#include "design/Design.h"

#include <QFocusEvent>
#include <QPainter>

namespace Design {

FocusRingButton::FocusRingButton(QWidget *parent)
    : QAbstractButton(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    handCursor(this);
}

void FocusRingButton::drawFocusRing(QPainter &painter, const QRectF &frame, const QColor &colour,
                                    qreal width) const
{
    if (!hasFocus() || !m_keyboardFocus)
        return;
    QColor ring = colour;
    ring.setAlphaF(0.55f);
    painter.setPen(QPen(ring, width, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame);
}

void FocusRingButton::focusInEvent(QFocusEvent *event)
{
    m_keyboardFocus =
        event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
}

void FocusRingButton::focusOutEvent(QFocusEvent *event)
{
    m_keyboardFocus = false;
    QAbstractButton::focusOutEvent(event);
}

} // namespace Design

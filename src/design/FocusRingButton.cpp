#include "design/FocusRingButton.h"

#include "design/Design.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>

namespace Design {

namespace {

bool isReturn(const QKeyEvent *event)
{
    return (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
           (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

} // namespace

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

bool FocusRingButton::event(QEvent *event)
{
    // Return is this button's while it has the focus, before any screen's shortcut for it.
    if (event->type() == QEvent::ShortcutOverride && isReturn(static_cast<QKeyEvent *>(event))) {
        event->accept();
        return true;
    }
    return QAbstractButton::event(event);
}

void FocusRingButton::keyPressEvent(QKeyEvent *event)
{
    if (!isReturn(event))
        return QAbstractButton::keyPressEvent(event);
    if (!event->isAutoRepeat())
        click();
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

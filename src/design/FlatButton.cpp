#include "design/FlatButton.h"

#include "design/Design.h"

#include <QFocusEvent>
#include <QPainter>

namespace Design {

FlatButton::FlatButton(const QString &text, QWidget *parent)
    : QAbstractButton(parent)
    , m_background(Design::red())
    , m_text(Qt::white)
{
    setText(text);
    setFocusPolicy(Qt::StrongFocus);
    Design::handCursor(this);
}

void FlatButton::setColors(const QColor &background, const QColor &text)
{
    m_background = background;
    m_text = text;
    update();
}

void FlatButton::setOutline(const QColor &colour, qreal width, qreal radius)
{
    m_outline = colour;
    m_outlineWidth = width;
    m_outlineRadius = radius;
    update();
}

void FlatButton::setHorizontalPadding(int padding)
{
    m_padding = padding;
    updateGeometry();
}

void FlatButton::setTextAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

QSize FlatButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 2 * m_padding, metrics.height() + 24};
}

void FlatButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor background = m_background;
    const QColor label = m_text;
    // A disabled button is the same drawing at 45 % opacity, label and outline included.
    if (!isEnabled())
        painter.setOpacity(0.45);
    else if (isDown())
        background = background.darker(112);
    painter.fillRect(rect(), background);
    if (m_outlineWidth > 0) {
        const qreal half = m_outlineWidth / 2;
        painter.setPen(QPen(m_outline, m_outlineWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(half, half, -half, -half),
                                m_outlineRadius, m_outlineRadius);
    }
    if (hasFocus() && m_keyboardFocus) {
        // The keyboard focus ring sits inside the box, in the label's colour.
        QColor ring = label;
        ring.setAlphaF(0.55f);
        painter.setPen(QPen(ring, 1.5, Qt::DashLine));
        painter.drawRect(QRectF(rect()).adjusted(3, 3, -3, -3));
    }
    painter.setPen(label);
    painter.setFont(font());
    painter.drawText(rect().adjusted(m_padding, 0, -m_padding, 0),
                     int(m_alignment) | Qt::AlignVCenter, text());
}

// The ring marks focus that the keyboard moved, not the focus a window gives on opening.
void FlatButton::focusInEvent(QFocusEvent *event)
{
    m_keyboardFocus =
        event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
}

void FlatButton::focusOutEvent(QFocusEvent *event)
{
    m_keyboardFocus = false;
    QAbstractButton::focusOutEvent(event);
}

} // namespace Design

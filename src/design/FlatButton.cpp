#include "design/FlatButton.h"

#include "design/Design.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>

namespace Design {

FlatButton::FlatButton(const QString &text, QWidget *parent)
    : FocusRingButton(parent)
    , m_background(Design::red())
    , m_text(Qt::white)
{
    setText(text);
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
    applyDesignSize();
    updateGeometry();
}

void FlatButton::setDesignSize(QSize size)
{
    m_designSize = size;
    applyDesignSize();
}

void FlatButton::applyDesignSize()
{
    if (m_designSize.isValid())
        setFixedSize(std::max(m_designSize.width(), sizeHint().width()), m_designSize.height());
}

void FlatButton::changeEvent(QEvent *event)
{
    FocusRingButton::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        applyDesignSize();
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
    drawFocusRing(painter, QRectF(rect()).adjusted(3, 3, -3, -3), label);
    painter.setPen(label);
    painter.setFont(font());
    painter.drawText(rect().adjusted(m_padding, 0, -m_padding, 0),
                     int(m_alignment) | Qt::AlignVCenter, text());
}

} // namespace Design

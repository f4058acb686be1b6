#include "wizard/ui/SymbolView.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace Wizard {

namespace {

// Light weight: thin strokes, like a symbol set at a light font weight.
constexpr qreal strokeFraction = 0.055;

} // namespace

SymbolView::SymbolView(Symbol symbol, qreal pointSize, const QColor &colour, QWidget *parent)
    : QWidget(parent)
    , m_symbol(symbol)
    , m_size(pointSize)
    , m_colour(colour)
{
    setFixedSize(sizeHint());
}

QSize SymbolView::sizeHint() const
{
    const int side = qCeil(m_size * 1.05);
    return {side, side};
}

void SymbolView::paintSymbol(QPainter &painter, Symbol symbol, const QRectF &square,
                             const QColor &colour)
{
    const qreal side = square.width();
    const qreal stroke = qMax(1.0, side * strokeFraction);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(colour, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const QRectF circle = square.adjusted(stroke / 2, stroke / 2, -stroke / 2, -stroke / 2);
    painter.drawEllipse(circle);
    const QPointF centre = square.center();
    switch (symbol) {
    case Symbol::ExclamationCircle: {
        painter.drawLine(QPointF(centre.x(), square.top() + side * 0.25),
                         QPointF(centre.x(), square.top() + side * 0.58));
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(QPointF(centre.x(), square.top() + side * 0.72), stroke * 0.85,
                            stroke * 0.85);
        break;
    }
    case Symbol::XmarkCircle: {
        const qreal arm = side * 0.16;
        painter.drawLine(centre + QPointF(-arm, -arm), centre + QPointF(arm, arm));
        painter.drawLine(centre + QPointF(arm, -arm), centre + QPointF(-arm, arm));
        break;
    }
    }
    painter.restore();
}

void SymbolView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintSymbol(painter, m_symbol, QRectF(rect()).adjusted(1, 1, -1, -1), m_colour);
}

} // namespace Wizard

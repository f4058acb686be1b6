#include "design/VisualEffect.h"

#include <QPainter>

namespace Design {

namespace {
// A light neutral close to the platform's window background.
constexpr int backdropGrey = 236;
constexpr int translucentAlpha = 232;
} // namespace

VisualEffect::VisualEffect(bool translucent, QWidget *parent)
    : QWidget(parent)
    , m_translucent(translucent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, !translucent);
}

QColor VisualEffect::fill() const
{
    return QColor(backdropGrey, backdropGrey, backdropGrey, m_translucent ? translucentAlpha : 255);
}

void VisualEffect::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), fill());
}

} // namespace Design

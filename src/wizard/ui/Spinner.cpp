#include "wizard/ui/Spinner.h"

#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

namespace Wizard {

namespace {
constexpr int spokes = 12;
}

Spinner::Spinner(const QColor &colour, QWidget *parent)
    : QWidget(parent)
    , m_colour(colour)
    , m_turn(new QVariantAnimation(this))
{
    setFixedSize(sizeHint());
    m_turn->setStartValue(0);
    m_turn->setEndValue(spokes);
    m_turn->setDuration(1000);
    m_turn->setLoopCount(-1);
    connect(m_turn, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        const int frame = value.toInt() % spokes;
        if (frame != m_frame) {
            m_frame = frame;
            update();
        }
    });
}

bool Spinner::isSpinning() const
{
    return m_turn->state() == QAbstractAnimation::Running;
}

void Spinner::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_turn->start();
}

void Spinner::hideEvent(QHideEvent *event)
{
    m_turn->stop();
    QWidget::hideEvent(event);
}

void Spinner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(width(), height());
    const qreal outer = side / 2;
    const qreal inner = outer * 0.45;
    const qreal thickness = side * 0.085;
    painter.translate(width() / 2.0, height() / 2.0);
    for (int i = 0; i < spokes; ++i) {
        // The leading spoke is darkest; the ones behind it fade.
        const int age = (m_frame - i + spokes) % spokes;
        QColor colour = m_colour;
        colour.setAlphaF(m_colour.alphaF() * float(1.0 - 0.75 * age / double(spokes - 1)));
        painter.setPen(QPen(colour, thickness, Qt::SolidLine, Qt::RoundCap));
        const qreal angle = 2 * M_PI * i / spokes - M_PI / 2;
        const QPointF direction(std::cos(angle), std::sin(angle));
        painter.drawLine(direction * (inner + thickness / 2), direction * (outer - thickness / 2));
    }
}

} // namespace Wizard

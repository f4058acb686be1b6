#include "wizard/ui/CrossFade.h"

#include <QPainter>
#include <QVariantAnimation>

namespace Wizard {

CrossFade *CrossFade::cover(QWidget *host)
{
    if (!host->isVisible() || host->size().isEmpty())
        return nullptr;
    // The picture is taken from the window so that the backdrop under a translucent screen is
    // part of it; otherwise the old screen's text would float over the new one.
    QWidget *window = host->window();
    const QRect area(host->mapTo(window, QPoint(0, 0)), host->size());
    return new CrossFade(host, window->grab(area));
}

QEasingCurve CrossFade::easeOut()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

CrossFade::CrossFade(QWidget *host, const QPixmap &picture)
    : QWidget(host)
    , m_picture(picture)
    , m_fade(new QVariantAnimation(this))
{
    setObjectName(QStringLiteral("crossFade"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(host->rect());
    raise();
    show();
    m_fade->setStartValue(1.0);
    m_fade->setEndValue(0.0);
    m_fade->setDuration(durationMs);
    m_fade->setEasingCurve(easeOut());
    connect(m_fade, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_opacity = value.toReal();
        update();
    });
    connect(m_fade, &QVariantAnimation::finished, this, &QObject::deleteLater);
    m_fade->start();
}

void CrossFade::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setOpacity(m_opacity);
    painter.drawPixmap(rect(), m_picture);
}

} // namespace Wizard

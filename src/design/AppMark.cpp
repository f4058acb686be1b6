#include "design/AppMark.h"

#include "design/Design.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace Design {

namespace {

QPainterPath markShape(const QRectF &frame)
{
    const qreal radius = 0.22 * frame.width();
    QPainterPath path;
    path.addRoundedRect(frame, radius, radius);
    return path;
}

// Three box blurs approximate a Gaussian of the given radius on the alpha channel.
void blurAlpha(QImage &image, int radius)
{
    if (radius < 1)
        return;
    const int w = image.width();
    const int h = image.height();
    std::vector<int> line(static_cast<std::size_t>(std::max(w, h)));
    const int box = std::max(1, radius / 2);
    auto pass = [&](bool horizontal) {
        const int outer = horizontal ? h : w;
        const int inner = horizontal ? w : h;
        for (int o = 0; o < outer; ++o) {
            auto alphaAt = [&](int i) -> int {
                i = std::clamp(i, 0, inner - 1);
                return horizontal ? qAlpha(image.pixel(i, o)) : qAlpha(image.pixel(o, i));
            };
            int sum = 0;
            for (int i = -box; i <= box; ++i)
                sum += alphaAt(i);
            for (int i = 0; i < inner; ++i) {
                line[static_cast<std::size_t>(i)] = sum / (2 * box + 1);
                sum += alphaAt(i + box + 1) - alphaAt(i - box);
            }
            for (int i = 0; i < inner; ++i) {
                const int a = line[static_cast<std::size_t>(i)];
                const QRgb black = qRgba(0, 0, 0, a);
                if (horizontal)
                    image.setPixel(i, o, black);
                else
                    image.setPixel(o, i, black);
            }
        }
    };
    for (int round = 0; round < 3; ++round) {
        pass(true);
        pass(false);
    }
}

} // namespace

AppMark::AppMark(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void AppMark::paint(QPainter &painter, const QRectF &frame)
{
    const qreal s = frame.width();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);

    // Shadow: black at 18 %, blur radius 0.06 s, offset 0.03 s downwards.
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const qreal blur = 0.06 * s;
    const int margin = static_cast<int>(std::ceil(blur * 2));
    QImage shadow(QSize(static_cast<int>(std::ceil(s * ratio)) + 2 * margin,
                        static_cast<int>(std::ceil(frame.height() * ratio)) + 2 * margin),
                  QImage::Format_ARGB32_Premultiplied);
    shadow.fill(Qt::transparent);
    {
        QPainter shadowPainter(&shadow);
        shadowPainter.setRenderHint(QPainter::Antialiasing);
        shadowPainter.fillPath(markShape(QRectF(margin, margin, s * ratio, frame.height() * ratio)),
                               Qt::black);
    }
    blurAlpha(shadow, static_cast<int>(std::lround(blur * ratio)));
    painter.setOpacity(0.18);
    painter.drawImage(QRectF(frame.left() - margin / ratio, frame.top() + 0.03 * s - margin / ratio,
                             shadow.width() / ratio, shadow.height() / ratio),
                      shadow);
    painter.setOpacity(1.0);

    painter.fillPath(markShape(frame), Design::red());

    QFont initial = Design::system(0.56 * s, QFont::Black);
    if (0.56 * s < 1)
        initial.setPixelSize(1);
    painter.setFont(initial);
    painter.setPen(Design::cream());
    painter.drawText(frame, Qt::AlignCenter, QStringLiteral("O"));
    painter.restore();
}

void AppMark::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const qreal side = std::min(width(), height());
    paint(painter, QRectF((width() - side) / 2.0, (height() - side) / 2.0, side, side));
}

} // namespace Design

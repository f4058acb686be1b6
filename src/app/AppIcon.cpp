#include "app/AppIcon.h"

#include "design/AppMark.h"

#include <QPainter>
#include <QPixmap>

namespace App {

namespace AppIcon {

QIcon icon()
{
    QIcon result;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        const qreal inset = size * 0.06;
        Design::AppMark::paint(painter, QRectF(inset, inset * 0.5, size - 2 * inset, size - 2 * inset));
        painter.end();
        result.addPixmap(pixmap);
    }
    return result;
}

} // namespace AppIcon

} // namespace App

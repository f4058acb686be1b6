#include "Snapshot.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>

namespace Snapshots {

QImage render(QWidget &widget, QSize size, qreal scale)
{
    widget.setFixedSize(size);
    widget.show();
    // Layouts, polish and pending updates settle in the event loop.
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
    QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    widget.render(&image);
    widget.hide();
    return image;
}

} // namespace Snapshots

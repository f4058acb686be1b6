#include "Snapshot.h"

#include "design/FlatButton.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QPainter>
#include <QWidget>

namespace Snapshots {

QStringList clippedTexts(const QWidget &widget)
{
    QStringList clipped;
    for (const QWidget *child : widget.findChildren<QWidget *>()) {
        if (!child->isVisibleTo(&widget))
            continue;
        QString text;
        bool fits = true;
        // Tiles, option rows and the copy button elide their texts by design; these never do.
        if (qobject_cast<const Design::FlatButton *>(child) ||
            qobject_cast<const QPushButton *>(child)) {
            text = static_cast<const QAbstractButton *>(child)->text();
            fits = child->sizeHint().width() <= child->width();
        } else if (const auto *label = qobject_cast<const QLabel *>(child)) {
            text = label->text();
            fits = label->wordWrap() ? label->heightForWidth(label->width()) <= label->height()
                                     : label->sizeHint().width() <= label->width();
        }
        if (!text.isEmpty() && !fits)
            clipped.append(text);
    }
    return clipped;
}

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

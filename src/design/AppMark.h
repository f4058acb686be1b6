#pragma once

#include <QWidget>

namespace Design {

// The product's logo, drawn from shapes at whatever size it is given: a red rounded square
// with the initial in cream, over a soft shadow.
class AppMark : public QWidget
{
    Q_OBJECT

public:
    explicit AppMark(QWidget *parent = nullptr);

    // Draws the mark into `frame` (its width is the mark's size s); the shadow spills below.
    static void paint(QPainter &painter, const QRectF &frame);

    QSize sizeHint() const override { return {25, 25}; }

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace Design

#include "wizard/ui/FundingOptionRow.h"

#include "design/Design.h"

#include <QPainter>

namespace Wizard {

namespace {
constexpr int box = 22;
constexpr int gap = 14;
constexpr int verticalPadding = 13;
constexpr int divider = 1;
} // namespace

FundingOptionRow::FundingOptionRow(const QString &title, QWidget *parent)
    : FocusRingButton(parent)
{
    setText(title);
    setCheckable(true);
    setFont(Design::archivo(15));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(title);
}

QSize FundingOptionRow::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int content = qMax(box, metrics.height());
    return {box + gap + metrics.horizontalAdvance(text()), content + 2 * verticalPadding + divider};
}

QSize FundingOptionRow::minimumSizeHint() const
{
    return {box + gap, sizeHint().height()};
}

void FundingOptionRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect content = rect().adjusted(0, verticalPadding, 0, -verticalPadding - divider);

    // The check box: a 2-point outline, filled red with a white tick when selected.
    const QRectF square(0, content.center().y() - box / 2.0 + 0.5, box, box);
    const QRectF stroke = square.adjusted(1, 1, -1, -1);
    if (isChecked()) {
        painter.fillRect(square, Design::red());
        painter.setPen(QPen(Design::red(), 2));
        painter.drawRect(stroke);
        painter.setPen(Qt::white);
        painter.setFont(Design::archivo(15, Design::Weight::Bold));
        painter.drawText(square, Qt::AlignCenter, QStringLiteral("✓"));
    } else {
        painter.setPen(QPen(Design::line(), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(stroke);
    }

    painter.setPen(Design::ink());
    painter.setFont(font());
    const QRect titleBox = content.adjusted(box + gap, 0, 0, 0);
    painter.drawText(titleBox, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(text(), Qt::ElideRight, titleBox.width()));

    painter.fillRect(QRect(0, height() - divider, width(), divider), Design::line());

    drawFocusRing(painter, QRectF(rect()).adjusted(0.5, 4, -1, -4 - divider), Design::ink());
}

} // namespace Wizard

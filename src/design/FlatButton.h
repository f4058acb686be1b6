#pragma once

#include "design/FocusRingButton.h"

namespace Design {

// A button drawn without platform chrome: a filled box, an optional outline and a label. The
// whole box is its click area; the focus ring sits inside it, in the label's colour.
class FlatButton : public FocusRingButton
{
    Q_OBJECT

public:
    explicit FlatButton(const QString &text, QWidget *parent = nullptr);

    void setColors(const QColor &background, const QColor &text);
    // `radius` rounds the outline's corners (the fill stays square under them).
    void setOutline(const QColor &colour, qreal width, qreal radius = 0);
    void setHorizontalPadding(int padding);
    void setTextAlignment(Qt::Alignment alignment);
    // The size the design gives it, widened to fit its label and padding whenever the face in
    // use needs more (a fallback face often does): the label is never cut.
    void setDesignSize(QSize size);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QColor m_background;
    QColor m_text;
    QColor m_outline;
    qreal m_outlineWidth = 0;
    qreal m_outlineRadius = 0;
    int m_padding = 16;
    Qt::Alignment m_alignment = Qt::AlignCenter;
    QSize m_designSize;

    void applyDesignSize();
};

} // namespace Design

#pragma once

#include <QAbstractButton>

class QPainter;

namespace Design {

// The base of the buttons drawn without platform chrome: they take focus from the keyboard and
// the mouse, show the pointing hand, are pressed by Space and by Return while they have the
// focus, and draw a dashed focus ring where each one's drawing says, only for focus the keyboard
// moved (not the focus a click or an opening window gives).
class FocusRingButton : public QAbstractButton
{
    Q_OBJECT

protected:
    explicit FocusRingButton(QWidget *parent = nullptr);

    // Draws the ring along `frame` in `colour` at 55 % opacity, `width` points wide, when the
    // keyboard has moved the focus here.
    void drawFocusRing(QPainter &painter, const QRectF &frame, const QColor &colour,
                       qreal width = 1.5) const;

    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    bool m_keyboardFocus = false;
};

} // namespace Design

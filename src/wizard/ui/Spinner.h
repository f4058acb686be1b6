#pragma once

#include <QColor>
#include <QWidget>

class QVariantAnimation;

namespace Wizard {

// An indeterminate progress spinner of the large size: twelve spokes whose shade turns once a
// second while the spinner is visible.
class Spinner : public QWidget
{
    Q_OBJECT

public:
    explicit Spinner(const QColor &colour, QWidget *parent = nullptr);

    bool isSpinning() const;
    QSize sizeHint() const override { return {32, 32}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QColor m_colour;
    int m_frame = 0;
    QVariantAnimation *m_turn = nullptr;
};

} // namespace Wizard

#pragma once

#include <QEasingCurve>
#include <QPixmap>
#include <QWidget>

class QVariantAnimation;

namespace Wizard {

// The change from one screen to the next: a picture of the old screen laid over the new one,
// fading out with an ease-out curve. It ignores the mouse and removes itself when done.
class CrossFade : public QWidget
{
    Q_OBJECT

public:
    static constexpr int durationMs = 220;

    // Covers `host` with a picture of what it shows now and starts fading it; the caller swaps
    // the screen beneath right after. Returns nullptr when `host` is not on screen.
    static CrossFade *cover(QWidget *host);

    // The standard ease-out timing: a cubic Bézier with control points (0, 0) and (0.58, 1).
    static QEasingCurve easeOut();

    qreal opacity() const { return m_opacity; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    CrossFade(QWidget *host, const QPixmap &picture);

    QPixmap m_picture;
    qreal m_opacity = 1.0;
    QVariantAnimation *m_fade = nullptr;
};

} // namespace Wizard

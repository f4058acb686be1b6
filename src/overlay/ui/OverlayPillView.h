#pragma once

#include <QImage>
#include <QMargins>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <optional>

namespace Overlay {

class OverlayState;

// The pill: a header row with the product name, the status line and the connection dot and,
// while the state is expanded, the conversation's counters and context fill. It only renders the
// state (any change redraws it); the window that holds it tells clicks on the header from drags.
//
// With translucency the pill floats over a soft drop shadow, for which the widget keeps a
// transparent margin around the pill's own box (pillRect). Without it (no compositor) the margin
// is zero and the pill is drawn opaque, for a window clipped to its rounded shape.
class OverlayPillView : public QWidget
{
    Q_OBJECT

public:
    // The state must outlive the view.
    OverlayPillView(OverlayState &state, bool translucent, QWidget *parent = nullptr);

    bool isTranslucent() const { return m_translucent; }
    void setTranslucent(bool translucent);

    // Room around the pill for its shadow; zero without translucency.
    QMargins shadowMargins() const;
    // The pill's box for the current expansion, and where it lies in the widget.
    QSize pillSize() const;
    QRect pillRect() const;
    // The context bar's track; none while the bar is not shown.
    std::optional<QRectF> contextBarRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void onStateChanged();
    void paintShadow(QPainter &painter);
    void paintHeader(QPainter &painter, QRectF header);
    // Returns where the quota rows go below it.
    qreal paintUsage(QPainter &painter, QRectF block);
    void paintQuota(QPainter &painter, QRectF area);
    // The counters' block of the expanded pill, from TOP down to the quota rows.
    QRectF usageBlock(QRectF pill, qreal top) const;

    OverlayState &m_state;
    bool m_translucent;
    QSize m_pillSize; // the size last laid out for
    QImage m_shadow; // the blurred pill shape, kept while size and scale stay
};

} // namespace Overlay

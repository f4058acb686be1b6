#pragma once

#include <QImage>
#include <QMargins>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <array>
#include <optional>
#include <vector>

namespace Overlay {

class OverlayState;

// The pill: a header row with the product name, the status line and the connection dot and,
// while the state is expanded, the conversation's counters and context fill. It only renders the
// state; the window that holds it tells clicks on the header from drags.
//
// A change of the state repaints only the pieces whose text or bar changed (the countdown, a
// counter's digits), nothing when none did. The status line, colour emoji and all, is laid out
// and rasterised once per distinct text and drawn from that image afterwards.
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

    // The earlier way, for the benchmark's comparison: every change repaints the whole pill and
    // the status line is laid out again at every paint.
    void setRepaintingEverything(bool everything) { m_repaintEverything = everything; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // A piece of the pill that changes: where it is painted and what it shows.
    struct Piece
    {
        QRect rect;
        QString content;

        friend bool operator==(const Piece &, const Piece &) = default;
    };
    struct StatusImage
    {
        QString text;
        QRectF area;
        qreal scale = 0;
        QImage image;
    };

    void onStateChanged();
    std::vector<Piece> pieces() const;
    void paintStatusLine(QPainter &painter, QRectF area);
    void paintShadow(QPainter &painter);
    void paintHeader(QPainter &painter, QRectF header, const QRegion &dirty);
    // Returns where the quota rows go below it.
    qreal paintUsage(QPainter &painter, QRectF block, const QRegion &dirty);
    void paintQuota(QPainter &painter, QRectF area, const QRegion &dirty);
    // The counters' block of the expanded pill, from TOP down to the quota rows.
    QRectF usageBlock(QRectF pill, qreal top) const;

    OverlayState &m_state;
    bool m_translucent;
    QSize m_pillSize;            // the size last laid out for
    QImage m_shadow;             // the blurred pill shape, kept while size and scale stay
    std::vector<Piece> m_pieces; // as last asked to be painted
    std::array<StatusImage, 4> m_statusImages; // the latest few
    std::size_t m_nextStatusImage = 0;         // the oldest of them
    bool m_repaintEverything = false;
};

} // namespace Overlay

#pragma once

#include <QImage>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QWidget>

#include <functional>
#include <optional>

namespace Overlay {

class OverlayState;

// The pill: a header row with the product name, the status line and the connection dot and,
// while the state is expanded, the conversation's counters and context fill. It only renders the
// state (any change redraws it) and reports clicks: one click on the header calls onToggle, a
// press dragged beyond the drag distance emits dragStarted instead.
//
// With translucency the pill floats over a soft drop shadow, for which the widget keeps a
// transparent margin around the pill's own box (pillRect). Without it (no compositor) the margin
// is zero and the pill is drawn opaque, for a window masked to pillMask().
class OverlayPillView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int pillWidth = 318;
    static constexpr int collapsedHeight = 58; // the header row
    static constexpr int expandedHeight = 188;
    static constexpr qreal cornerRadius = 14;

    // The state must outlive the view.
    OverlayPillView(OverlayState &state, std::function<void()> onToggle, bool translucent,
                    QWidget *parent = nullptr);

    bool isTranslucent() const { return m_translucent; }
    void setTranslucent(bool translucent);

    // Room around the pill for its shadow; zero without translucency.
    QMargins shadowMargins() const;
    // The pill's box for the current expansion, and where it lies in the widget.
    QSize pillSize() const;
    QRect pillRect() const;
    // The rounded pill in widget coordinates, for a window mask.
    QRegion pillMask() const;
    // The header row, the part that toggles.
    QRect headerRect() const;
    // The context bar's track; none while the bar is not shown.
    std::optional<QRectF> contextBarRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // A press on the pill moved far enough to be a drag; the window's owner moves the window.
    // globalPressPosition is where the press began.
    void dragStarted(QPoint globalPressPosition);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void onStateChanged();
    void paintShadow(QPainter &painter);
    void paintHeader(QPainter &painter, QRectF header);
    void paintUsage(QPainter &painter, QRectF block);

    OverlayState &m_state;
    std::function<void()> m_onToggle;
    bool m_translucent;
    bool m_wasExpanded;
    std::optional<QPoint> m_pressPosition; // widget coordinates of a press not yet a drag
    QPoint m_globalPressPosition;
    bool m_pressOnHeader = false;
    QImage m_shadow; // the blurred pill shape, kept while size and scale stay
};

} // namespace Overlay

#include "overlay/ui/OverlayPanelWindow.h"

#include "overlay/Log.h"
#include "overlay/PillGeometry.h"
#include "overlay/ui/OverlayPillView.h"
#include "platform/ui/WindowSystem.h"
#include "platform/x11/X11FloatingWindow.h"

#include <QApplication>
#include <QChildEvent>
#include <QMouseEvent>
#include <QBitmap>
#include <QPainter>
#include <QWindow>

namespace Overlay {

namespace {

Qt::WindowFlags flags(OverlayPanelWindow::Stacking stacking)
{
    const Qt::WindowFlags managed = Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                                    | Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint;
    if (stacking == OverlayPanelWindow::Stacking::Managed)
        return managed;
    // A utility window rather than a normal one: wlroots gives the focus to an override-redirect
    // window of the normal type when it maps and when it is clicked.
    return managed | Qt::Tool | Qt::X11BypassWindowManagerHint;
}

} // namespace

OverlayPanelWindow::OverlayPanelWindow(QWidget *content, QMargins margins, bool translucent,
                                       Stacking stacking)
    : QWidget(nullptr, flags(stacking))
    , m_content(content)
    , m_margins(translucent ? margins : QMargins())
    , m_translucent(translucent)
    , m_stacking(stacking)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Orvane"));
    setWindowRole(QString::fromLatin1(windowRole));
    if (translucent)
        setAttribute(Qt::WA_TranslucentBackground);
    m_content->setParent(this);
    filterChildren(m_content);
}

OverlayPanelWindow::~OverlayPanelWindow() = default;

std::unique_ptr<OverlayPanelWindow> OverlayPanelWindow::withPill(OverlayState &state,
                                                                 Stacking stacking)
{
    const bool translucent = Platform::WindowSystem::supportsTranslucency();
    if (!translucent)
        qCDebug(lcOverlay, "No compositor: the pill is drawn opaque and clipped to its shape");
    auto *pill = new OverlayPillView(state, translucent);
    return std::make_unique<OverlayPanelWindow>(pill, pill->shadowMargins(), translucent,
                                                stacking);
}

void OverlayPanelWindow::setBox(const QRect &box)
{
    m_box = box;
    m_placing = true;
    setGeometry(box.marginsAdded(m_margins));
    m_placing = false;
    updateMask();
}

void OverlayPanelWindow::showPanel(std::uint32_t over)
{
    Platform::X11FloatingWindow::prepareToShow(winId());
    const bool wasVisible = isVisible();
    show();
    raise();
    Platform::X11FloatingWindow::setTransientFor(winId(), over);
    if (!wasVisible)
        Platform::X11FloatingWindow::afterShow(winId());
}

void OverlayPanelWindow::hidePanel()
{
    m_pressed = m_dragging = m_systemMove = false;
    hide();
    // The next showing gets a window of its own. Mapped again while the window manager and
    // Qt still settle its last unmapping, the same window can end up on the screen without
    // its contents (GNOME Shell); a new one has nothing to settle.
    destroy();
}

void OverlayPanelWindow::filterChildren(QObject *object)
{
    object->installEventFilter(this);
    for (QObject *child : object->children())
        if (child->isWidgetType())
            filterChildren(child);
}

bool OverlayPanelWindow::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ChildAdded:
        if (QObject *child = static_cast<QChildEvent *>(event)->child(); child->isWidgetType())
            filterChildren(child);
        return false;
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            return true;
        m_pressed = true;
        m_dragging = m_systemMove = false;
        m_pressGlobal = mouse->globalPosition().toPoint();
        m_pressLocal = mapFromGlobal(m_pressGlobal);
        m_pressWindowPos = pos();
        return true;
    }
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!m_pressed || m_systemMove)
            return true;
        const QPoint delta = mouse->globalPosition().toPoint() - m_pressGlobal;
        if (!m_dragging && delta.manhattanLength() >= QApplication::startDragDistance()) {
            m_dragging = true;
            // Catch up with the pointer first: the window manager moves the window from where
            // it is by however far the pointer goes from here.
            move(m_pressWindowPos + delta);
            // The window manager moves it from here, as it does with a title bar, where it
            // offers that; it then owns the pointer until the button goes up. A window out of
            // the window manager's hands moves itself.
            m_systemMove = m_stacking == Stacking::Managed && windowHandle()
                           && windowHandle()->startSystemMove();
            if (!m_systemMove)
                qCDebug(lcOverlay, "The window manager does not move the pill: moved by hand");
            return true;
        }
        if (m_dragging && !m_systemMove)
            move(m_pressWindowPos + delta);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton || !m_pressed)
            return true;
        const bool clicked = !m_dragging;
        m_pressed = m_dragging = m_systemMove = false;
        const int top = m_margins.top();
        if (clicked && m_pressLocal.y() >= top && m_pressLocal.y() < top + PillGeometry::collapsedHeight
            && m_pressLocal.x() >= m_margins.left() && m_pressLocal.x() < width() - m_margins.right()
            && m_toggle)
            m_toggle();
        return true;
    }
    case QEvent::MouseButtonDblClick:
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

void OverlayPanelWindow::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    const QPoint topLeft = pos() + QPoint(m_margins.left(), m_margins.top());
    if (m_placing || topLeft == m_box.topLeft())
        return;
    // Moved by the user's drag (by hand or by the window manager).
    m_box.moveTopLeft(topLeft);
    if (m_moved)
        m_moved();
}

void OverlayPanelWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_content->setGeometry(rect());
    updateMask();
}

void OverlayPanelWindow::updateMask()
{
    if (m_translucent)
        return;
    // No compositor: the corners outside the rounded pill are cut away. Drawn into a bitmap:
    // a region made from the path's polygon leaves a sliver where the polygon closes.
    QBitmap shape(m_box.size());
    shape.fill(Qt::color0);
    QPainter painter(&shape);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::color1);
    painter.drawRoundedRect(QRectF(QPointF(0, 0), QSizeF(m_box.size())), PillGeometry::cornerRadius,
                            PillGeometry::cornerRadius);
    painter.end();
    setMask(shape);
}

} // namespace Overlay

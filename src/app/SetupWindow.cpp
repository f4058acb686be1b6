#include "app/SetupWindow.h"

#include "design/VisualEffect.h"
#include "wizard/ui/RootView.h"

#include <QAction>
#include <QStackedLayout>

namespace App {

SetupWindow::SetupWindow(bool translucent, Wizard::WizardController &wizard,
                         const Wizard::LauncherServices &services, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("setupWindow"));
    setWindowTitle(QStringLiteral("Orvane"));
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    setFixedSize(contentWidth, contentHeight);

    m_backdrop = new Design::VisualEffect(translucent, this);
    m_backdrop->setObjectName(QStringLiteral("backdrop"));
    auto *backdropLayout = new QStackedLayout(this);
    backdropLayout->setContentsMargins(0, 0, 0, 0);
    backdropLayout->addWidget(m_backdrop);

    m_root = new Wizard::RootView(wizard, services, QSize(contentWidth, contentHeight), m_backdrop);
    auto *rootLayout = new QStackedLayout(m_backdrop);
    rootLayout->setContentsMargins(0, 0, 0, 0);
    rootLayout->addWidget(m_root);

    auto *quit = new QAction(tr("Quit"), this);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutContext(Qt::WindowShortcut);
    connect(quit, &QAction::triggered, this, &SetupWindow::quitRequested);
    addAction(quit);
    connect(m_root, &Wizard::RootView::quitRequested, this, &SetupWindow::quitRequested);
}

void SetupWindow::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    Q_EMIT closed();
}

void SetupWindow::bringToFront()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

} // namespace App

#include "app/SetupWindow.h"

#include "design/VisualEffect.h"
#include "platform/Timers.h"
#include "setup/SystemSetupEngine.h"
#include "wizard/RootView.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QSettings>
#include <QStackedLayout>

namespace App {

SetupWindow::SetupWindow(bool translucent, Manifest::Resolved resolved, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_engine(std::make_unique<Setup::SystemSetupEngine>())
    , m_settings(new QSettings(this)) // the application's organisation and name
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

    m_controller = std::make_unique<Wizard::WizardController>(
        *m_engine,
        [resolved = std::move(resolved)]() -> std::expected<Manifest::Resolved, Wizard::Failure> {
            return resolved;
        },
        Platform::QtTimers::instance());
    m_root = new Wizard::RootView(QSize(contentWidth, contentHeight), m_backdrop);
    Wizard::LauncherServices services;
    services.clipboard = QGuiApplication::clipboard();
    services.settings = m_settings;
    services.timers = &Platform::QtTimers::instance();
    m_root->setLauncherServices(services);
    m_root->setController(m_controller.get());
    auto *rootLayout = new QStackedLayout(m_backdrop);
    rootLayout->setContentsMargins(0, 0, 0, 0);
    rootLayout->addWidget(m_root);

    auto *quit = new QAction(tr("Quit"), this);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutContext(Qt::WindowShortcut);
    connect(quit, &QAction::triggered, this, &SetupWindow::quitRequested);
    addAction(quit);
}

// The screens go before the controller they are bound to.
SetupWindow::~SetupWindow()
{
    delete m_root;
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

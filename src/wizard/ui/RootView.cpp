#include "wizard/ui/RootView.h"

#include "design/Design.h"
#include "wizard/ui/CompletionScreen.h"
#include "wizard/ui/CrossFade.h"
#include "wizard/ui/EnterpriseGatewayView.h"
#include "wizard/ui/FailureScreen.h"
#include "wizard/ui/LaunchedView.h"
#include "wizard/ui/LauncherBinding.h"
#include "wizard/ui/NodeMissingScreen.h"
#include "wizard/ui/ProgressScreen.h"
#include "wizard/ui/QuestionsView.h"
#include "wizard/ui/WelcomeScreen.h"
#include "wizard/QuestionsModel.h"

namespace Wizard {

namespace {

// A screen that only covers the backdrop with one colour.
QWidget *filledScreen(const QColor &colour, QWidget *parent)
{
    auto *screen = new QWidget(parent);
    screen->setAutoFillBackground(true);
    QPalette palette = screen->palette();
    palette.setColor(QPalette::Window, colour);
    screen->setPalette(palette);
    return screen;
}

} // namespace

RootView::RootView(WizardController &controller, LauncherServices launcherServices, QSize size,
                   QWidget *parent)
    : QWidget(parent)
    , m_size(size)
    , m_controller(&controller)
    , m_launcherServices(launcherServices)
{
    setObjectName(QStringLiteral("rootView"));
    connect(m_controller, &WizardController::screenChanged, this, [this] { showScreen(true); });
    // A new model while the questions are up (a changed gateway) starts them again.
    connect(m_controller, &WizardController::questionsModelChanged, this, [this] {
        if (m_controller->screen() == WizardController::Screen::Questions)
            showScreen(true);
    });
    // A terminal has opened for the user: step aside so it is in front.
    connect(m_controller, &WizardController::hideApplicationRequested, this, [this] {
        window()->showMinimized();
    });
    showScreen(false);
}

RootView::~RootView()
{
    // The screens (and any replaced one not yet deleted) go before the controller they use.
    m_current = nullptr;
    qDeleteAll(findChildren<QWidget *>(Qt::FindDirectChildrenOnly));
}

void RootView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    m_controller->preflight();
}

void RootView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_current)
        m_current->setGeometry(rect());
}

void RootView::showScreen(bool animated)
{
    // The picture of the old screen goes on top first, so the swap beneath it is never seen.
    if (animated && m_current)
        CrossFade::cover(this);
    QWidget *next = buildScreen(m_controller->screen());
    if (m_current) {
        m_current->hide();
        m_current->deleteLater();
    }
    m_current = next;
    next->setGeometry(rect());
    next->show();
    next->lower();
    // Whatever had the keyboard before, typing now goes to the new screen (its focus proxy).
    next->setFocus(Qt::OtherFocusReason);
}

QWidget *RootView::buildScreen(WizardController::Screen screen)
{
    WizardController *controller = m_controller;
    using Screen = WizardController::Screen;
    switch (screen) {
    case Screen::Loading: {
        auto *progress = new ProgressScreen(this);
        progress->setMessage(WizardController::checkingText());
        return progress;
    }
    case Screen::Installing: {
        auto *progress = new ProgressScreen(this);
        progress->setMessage(controller->statusText());
        connect(controller, &WizardController::statusTextChanged, progress,
                &ProgressScreen::setMessage);
        return progress;
    }
    case Screen::Welcome: {
        auto *welcome = new WelcomeScreen(this);
        connect(welcome, &WelcomeScreen::getStartedClicked, controller,
                &WizardController::getStarted);
        return welcome;
    }
    case Screen::NoNode: {
        auto *node = new NodeMissingScreen(this);
        node->setRechecked(controller->rechecked());
        node->setChecking(controller->checkingNode());
        connect(controller, &WizardController::recheckedChanged, node,
                &NodeMissingScreen::setRechecked);
        connect(controller, &WizardController::checkingNodeChanged, node,
                &NodeMissingScreen::setChecking);
        connect(node, &NodeMissingScreen::recheckRequested, controller,
                &WizardController::recheck);
        return node;
    }
    case Screen::Questions: {
        QuestionsModel *model = controller->questionsModel();
        if (!model)
            return filledScreen(Design::paper(), this);
        auto *questions = new QuestionsView(model, this);
        questions->setCancellable(controller->questionsLeadToLauncher());
        connect(questions, &QuestionsView::submitted, controller, &WizardController::runInstall);
        connect(questions, &QuestionsView::cancelled, controller,
                &WizardController::leaveQuestions);
        connect(questions, &QuestionsView::enterpriseGatewayRequested, controller,
                &WizardController::openEnterpriseGateway);
        connect(questions, &QuestionsView::gatewayRemovalRequested, controller,
                &WizardController::removeEnterpriseGateway);
        return questions;
    }
    case Screen::Enterprise: {
        auto *form = new EnterpriseGatewayView(this);
        // "Change" shows the gateway being changed.
        if (const QuestionsModel *model = controller->questionsModel(); model && model->gateway())
            form->setGateway(*model->gateway());
        connect(form, &EnterpriseGatewayView::continued, controller,
                &WizardController::continueEnterpriseGateway);
        connect(form, &EnterpriseGatewayView::cancelled, controller,
                &WizardController::cancelEnterpriseGateway);
        return form;
    }
    case Screen::Complete: {
        auto *done = new CompletionScreen(this);
        connect(done, &CompletionScreen::openLauncherRequested, controller,
                &WizardController::openLauncher);
        return done;
    }
    case Screen::Launched:
        return buildLauncher();
    case Screen::Failed: {
        auto *failure = new FailureScreen(this);
        failure->setMessage(controller->errorText());
        connect(controller, &WizardController::errorTextChanged, failure,
                &FailureScreen::setMessage);
        connect(failure, &FailureScreen::retryRequested, controller, &WizardController::retry);
        return failure;
    }
    }
    return nullptr;
}

QWidget *RootView::buildLauncher()
{
    auto *launcher = createLauncher(*m_controller, m_launcherServices, this);
    launcher->setObjectName(QStringLiteral("launcherScreen"));
    connect(launcher, &LaunchedView::quitRequested, this, &RootView::quitRequested);
    return launcher;
}

} // namespace Wizard

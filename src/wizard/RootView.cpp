#include "wizard/RootView.h"

#include "design/Design.h"
#include "wizard/CompletionScreen.h"
#include "wizard/CrossFade.h"
#include "wizard/EnterpriseGatewayView.h"
#include "wizard/FailureScreen.h"
#include "wizard/LaunchedView.h"
#include "wizard/LauncherBinding.h"
#include "wizard/NodeMissingScreen.h"
#include "wizard/ProgressScreen.h"
#include "wizard/QuestionsView.h"
#include "wizard/WelcomeScreen.h"
#include "wizard/core/QuestionsModel.h"

#include <QPainter>

namespace Wizard {

namespace {

// A screen that covers the backdrop with one colour.
class FilledScreen : public QWidget
{
public:
    FilledScreen(const QColor &colour, QWidget *parent)
        : QWidget(parent)
        , m_colour(colour)
    {
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), m_colour);
    }

private:
    QColor m_colour;
};

} // namespace

RootView::RootView(QSize size, QWidget *parent)
    : QWidget(parent)
    , m_size(size)
{
    setObjectName(QStringLiteral("rootView"));
    showScreen(false);
}

void RootView::setController(WizardController *controller)
{
    if (m_controller)
        disconnect(m_controller, nullptr, this, nullptr);
    m_controller = controller;
    if (controller) {
        connect(controller, &WizardController::screenChanged, this, [this] { showScreen(true); });
        // A terminal has opened for the user to paste into: it goes in front of this window.
        connect(controller, &WizardController::hideApplicationRequested, this,
                [this] { window()->showMinimized(); });
        // A new model while the questions are up (a changed gateway) starts them again.
        connect(controller, &WizardController::questionsModelChanged, this, [this] {
            if (m_controller->screen() == WizardController::Screen::Questions)
                showScreen(true);
        });
    }
    showScreen(false);
    if (m_started && controller)
        controller->preflight();
}

void RootView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_started || !m_controller)
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
    QWidget *next = m_controller ? buildScreen(m_controller->screen()) : nullptr;
    if (!next)
        next = new WelcomeScreen(this);
    if (m_current) {
        const bool focusInside = m_current->isAncestorOf(focusWidget()) || hasFocus();
        m_current->hide();
        m_current->deleteLater();
        if (focusInside)
            next->setFocus();
    }
    m_current = next;
    next->setGeometry(rect());
    next->show();
    next->lower();
}

QWidget *RootView::buildScreen(WizardController::Screen screen)
{
    WizardController *controller = m_controller;
    using Screen = WizardController::Screen;
    switch (screen) {
    case Screen::Loading: {
        auto *progress = new ProgressScreen(this);
        progress->setStatusText(WizardController::checkingText());
        return progress;
    }
    case Screen::Installing: {
        auto *progress = new ProgressScreen(this);
        progress->setStatusText(controller->statusText());
        connect(controller, &WizardController::statusTextChanged, progress,
                &ProgressScreen::setStatusText);
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
        connect(controller, &WizardController::recheckedChanged, node,
                &NodeMissingScreen::setRechecked);
        connect(node, &NodeMissingScreen::recheckRequested, controller,
                &WizardController::recheck);
        return node;
    }
    case Screen::Questions: {
        QuestionsModel *model = controller->questionsModel();
        if (!model)
            return new FilledScreen(Design::paper(), this);
        auto *questions = new QuestionsView(model, this);
        connect(questions, &QuestionsView::installRequested, controller,
                &WizardController::runInstall);
        connect(questions, &QuestionsView::enterpriseGatewayRequested, controller,
                &WizardController::openEnterpriseGateway);
        return questions;
    }
    case Screen::Enterprise: {
        auto *form = new EnterpriseGatewayView(this);
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
        failure->setErrorText(controller->errorText());
        connect(controller, &WizardController::errorTextChanged, failure,
                &FailureScreen::setErrorText);
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
    return launcher;
}

} // namespace Wizard

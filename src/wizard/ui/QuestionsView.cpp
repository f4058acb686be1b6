#include "wizard/ui/QuestionsView.h"

#include "design/Design.h"
#include "design/FlatButton.h"
#include "wizard/ui/FundingStepView.h"
#include "wizard/ui/ScreenParts.h"
#include "wizard/ui/ToolTile.h"
#include "wizard/ui/ToolsStepView.h"
#include "wizard/QuestionsModel.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QUrl>
#include <QVBoxLayout>

namespace Wizard {

namespace {

// The gateway's host name, as short as it can be said; what was typed when it has none.
QString gatewayName(const EnterpriseGateway &gateway)
{
    const QString host = QUrl::fromUserInput(gateway.url).host();
    return host.isEmpty() ? gateway.url : host;
}

} // namespace

QuestionsView::QuestionsView(QuestionsModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    setObjectName(QStringLiteral("questionsView"));
    setFont(Design::archivo(15));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    m_stepLabel = makeLabel({}, Design::archivo(12, Design::Weight::Bold, 2), Design::ink(), this);
    m_stepLabel->setObjectName(QStringLiteral("stepLabel"));
    column->addWidget(makeStepHeader(m_stepLabel, buildHeaderRight(), this));

    m_stepArea = new QWidget(this);
    m_stepArea->setObjectName(QStringLiteral("stepArea"));
    auto *stepLayout = new QVBoxLayout(m_stepArea);
    stepLayout->setContentsMargins(44, 0, 44, 0);
    stepLayout->setSpacing(0);
    column->addWidget(m_stepArea, 1);

    auto *footer = new QHBoxLayout;
    footer->setContentsMargins(40, 0, 40, 20);
    footer->setSpacing(10);
    m_back = makeBackButton(this);
    m_back->setObjectName(QStringLiteral("back"));
    footer->addWidget(m_back);
    m_primary = makePrimaryButton({}, this);
    m_primary->setObjectName(QStringLiteral("primary"));
    footer->addWidget(m_primary);
    footer->addWidget(buildBlocker(), 1, Qt::AlignVCenter);
    m_enterprise = makeLinkButton(tr("Have an Enterprise Gateway?"),
                                  Design::archivo(13, Design::Weight::Bold), this);
    m_enterprise->setObjectName(QStringLiteral("enterpriseGateway"));
    footer->addWidget(m_enterprise, 0, Qt::AlignVCenter);
    column->addLayout(footer);

    connect(m_back, &Design::FlatButton::clicked, this, &QuestionsView::goBack);
    connect(m_primary, &Design::FlatButton::clicked, this, &QuestionsView::goOn);
    connect(m_enterprise, &Design::FlatButton::clicked, this,
            &QuestionsView::enterpriseGatewayRequested);
    clickOnReturn(m_primary, this);
    clickOnEscape(m_back, this);

    connect(m_model, &QuestionsModel::selectedHarnessesChanged, this, [this] {
        // A deselected tool can take the shown funding step away with it.
        if (!m_model->steps().contains(m_step))
            setStep(QuestionStep::tools());
        else
            updateChrome();
    });
    connect(m_model, &QuestionsModel::selectedFundingChanged, this, &QuestionsView::updateChrome);
    connect(m_model, &QuestionsModel::fieldValuesChanged, this, &QuestionsView::updateChrome);
    showStep();
}

QWidget *QuestionsView::buildHeaderRight()
{
    auto *right = new QWidget(this);
    auto *row = new QHBoxLayout(right);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    if (const std::optional<EnterpriseGateway> &gateway = m_model->gateway()) {
        const QFont font = Design::archivo(12);
        auto *name = makeLabel(tr("Gateway: %1").arg(gatewayName(*gateway)), font, Design::ink(),
                               right);
        name->setObjectName(QStringLiteral("gateway"));
        name->setToolTip(gateway->url);
        row->addWidget(name, 0, Qt::AlignVCenter);
        row->addSpacing(10);
        auto *change = makeLinkButton(tr("Change"), font, right);
        change->setObjectName(QStringLiteral("changeGateway"));
        row->addWidget(change, 0, Qt::AlignVCenter);
        row->addSpacing(6);
        auto *remove = makeLinkButton(tr("Remove"), font, right);
        remove->setObjectName(QStringLiteral("removeGateway"));
        row->addWidget(remove, 0, Qt::AlignVCenter);
        row->addSpacing(28);
        // No taller than the header's text, so the header keeps its height.
        for (QWidget *link : {static_cast<QWidget *>(change), static_cast<QWidget *>(remove)})
            link->setFixedHeight(name->sizeHint().height());
        connect(change, &Design::FlatButton::clicked, this,
                &QuestionsView::enterpriseGatewayRequested);
        connect(remove, &Design::FlatButton::clicked, this,
                &QuestionsView::gatewayRemovalRequested);
    }
    m_counter = makeLabel({}, Design::archivo(12, Design::Weight::Bold, 2), Design::muted(), right);
    m_counter->setObjectName(QStringLiteral("stepCounter"));
    row->addWidget(m_counter, 0, Qt::AlignVCenter);
    return right;
}

QWidget *QuestionsView::buildBlocker()
{
    m_blocker = new QWidget(this);
    m_blocker->setObjectName(QStringLiteral("blocker"));
    auto *row = new QHBoxLayout(m_blocker);
    row->setContentsMargins(6, 0, 0, 0);
    row->setSpacing(0);
    const QFont font = Design::archivo(13);
    m_blockerStep = makeLinkButton({}, font, m_blocker);
    m_blockerStep->setObjectName(QStringLiteral("blockerStep"));
    m_blockerStep->setHorizontalPadding(0);
    row->addWidget(m_blockerStep, 0, Qt::AlignTop);
    m_blockerReason = makeLabel({}, font, Design::ink(), m_blocker);
    m_blockerReason->setObjectName(QStringLiteral("blockerReason"));
    m_blockerReason->setWordWrap(true);
    // Level with the link's text, which sits 2 points down in its box.
    m_blockerReason->setContentsMargins(0, 2, 0, 0);
    row->addWidget(m_blockerReason, 1, Qt::AlignTop);
    connect(m_blockerStep, &Design::FlatButton::clicked, this, &QuestionsView::showBlocker);
    return m_blocker;
}

int QuestionsView::stepIndex() const
{
    return qMax(0, int(m_model->steps().indexOf(m_step)));
}

bool QuestionsView::isLastStep() const
{
    return stepIndex() == m_model->steps().size() - 1;
}

QString QuestionsView::counterText() const
{
    return tr("%1 OF %2").arg(stepIndex() + 1).arg(m_model->steps().size());
}

void QuestionsView::setCancellable(bool cancellable)
{
    m_cancellable = cancellable;
    updateChrome();
}

void QuestionsView::goBack()
{
    const int index = stepIndex();
    if (index >= 1)
        setStep(m_model->steps().at(index - 1));
    else if (m_cancellable)
        Q_EMIT cancelled();
}

void QuestionsView::goOn()
{
    const QList<QuestionStep> steps = m_model->steps();
    const int index = stepIndex();
    if (index < steps.size() - 1) {
        setStep(steps.at(index + 1));
        return;
    }
    Q_EMIT submitted();
}

void QuestionsView::setStep(const QuestionStep &step)
{
    if (step == m_step) {
        updateChrome();
        return;
    }
    m_step = step;
    showStep();
}

void QuestionsView::showStep()
{
    if (m_stepView) {
        // Out of the tree at once, deleted once whatever click led here has returned.
        m_stepView->hide();
        m_stepView->setParent(nullptr);
        m_stepView->deleteLater();
        m_stepView = nullptr;
    }

    m_stepChain.clear();
    if (m_step.kind == QuestionStep::Kind::Tools) {
        m_stepLabel->setText(tr("TOOLS"));
        auto *tools = new ToolsStepView(m_model, m_stepArea);
        for (ToolTile *tile : tools->tiles())
            m_stepChain.append(tile);
        m_stepView = tools;
    } else {
        m_stepLabel->setText(tr("FUNDING"));
        const auto group = m_model->manifest().fundingGroups.constFind(m_step.group);
        // A step for a group the manifest lacks shows nothing between header and footer.
        if (group != m_model->manifest().fundingGroups.cend()) {
            auto *funding = new FundingStepView(m_model, m_step.group, *group, m_stepArea);
            m_stepChain = funding->focusChain();
            m_stepView = funding;
        } else {
            m_stepView = new QWidget(m_stepArea);
        }
    }
    m_stepArea->layout()->addWidget(m_stepView);
    m_stepView->show();

    // Top to bottom: the step's controls, then the footer's.
    QList<QWidget *> chain = m_stepChain;
    chain << m_back << m_primary << m_blockerStep << m_enterprise;
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain.at(i - 1), chain.at(i));
    updateChrome();
    // The root view gives the keyboard to this view when it is shown; a new step takes it too.
    QWidget *first = firstFocus();
    setFocusProxy(first);
    if (isVisible())
        first->setFocus(Qt::OtherFocusReason);
}

QWidget *QuestionsView::firstFocus() const
{
    for (QWidget *widget : m_stepChain)
        if (qobject_cast<QLineEdit *>(widget) && widget->isVisibleTo(m_stepView))
            return widget;
    if (m_primary->isEnabled() || m_stepChain.isEmpty())
        return m_primary;
    return m_stepChain.first();
}

void QuestionsView::showBlocker()
{
    const std::optional<SubmitBlocker> blocker = m_model->submitBlocker();
    if (!blocker)
        return;
    setStep(m_model->steps().value(blocker->step - 1, QuestionStep::tools()));
    auto *funding = qobject_cast<FundingStepView *>(m_stepView);
    QWidget *target = funding ? funding->editFor(blocker->configKey) : nullptr;
    (target ? target : firstFocus())->setFocus(Qt::OtherFocusReason);
}

void QuestionsView::updateChrome()
{
    const int index = stepIndex();
    const bool last = isLastStep();
    m_counter->setText(counterText());
    m_back->setVisible(index >= 1 || m_cancellable);
    if (last)
        m_primary->setText(m_model->isReturning() ? tr("Save changes") : tr("Install"));
    else
        m_primary->setText(tr("Continue"));
    const std::optional<SubmitBlocker> blocker = last ? m_model->submitBlocker() : std::nullopt;
    m_primary->setEnabled(!blocker);
    // The final button is grey only with its reason beside it.
    if (blocker) {
        m_blockerStep->setText(tr("Step %1").arg(blocker->step));
        m_blockerReason->setText(QStringLiteral(": ") + blocker->reason);
    }
    m_blockerStep->setVisible(blocker.has_value());
    m_blockerReason->setVisible(blocker.has_value());
    m_enterprise->setVisible(m_step.kind == QuestionStep::Kind::Tools && !m_model->isReturning() &&
                             !m_model->isPrivateGateway());
}

void QuestionsView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Design::paper());
}

} // namespace Wizard

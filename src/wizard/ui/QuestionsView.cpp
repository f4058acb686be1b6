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
#include <QPainter>
#include <QVBoxLayout>

namespace Wizard {

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
    m_counter = makeLabel({}, Design::archivo(12, Design::Weight::Bold, 2), Design::muted(), this);
    m_counter->setObjectName(QStringLiteral("stepCounter"));
    column->addWidget(makeStepHeader(m_stepLabel, m_counter, this));

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
    footer->addStretch(1);
    m_enterprise = new Design::FlatButton(tr("Have an Enterprise Gateway?"), this);
    m_enterprise->setObjectName(QStringLiteral("enterpriseGateway"));
    QFont linkFont = Design::archivo(13, Design::Weight::Bold);
    linkFont.setUnderline(true);
    m_enterprise->setFont(linkFont);
    m_enterprise->setColors(Qt::transparent, Design::red());
    m_enterprise->setHorizontalPadding(0);
    m_enterprise->setFixedSize(QFontMetrics(linkFont).horizontalAdvance(m_enterprise->text()) + 2,
                               QFontMetrics(linkFont).height() + 8);
    footer->addWidget(m_enterprise, 0, Qt::AlignVCenter);
    column->addLayout(footer);

    connect(m_back, &Design::FlatButton::clicked, this, &QuestionsView::goBack);
    connect(m_primary, &Design::FlatButton::clicked, this, &QuestionsView::goOn);
    connect(m_enterprise, &Design::FlatButton::clicked, this,
            &QuestionsView::enterpriseGatewayRequested);
    clickOnReturn(m_primary, this);

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

void QuestionsView::goBack()
{
    const int index = stepIndex();
    if (index >= 1)
        setStep(m_model->steps().at(index - 1));
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
    const bool focusInside = m_stepView && m_stepView->isAncestorOf(QApplication::focusWidget());
    if (m_stepView) {
        // Out of the tree at once, deleted once whatever click led here has returned.
        m_stepView->hide();
        m_stepView->setParent(nullptr);
        m_stepView->deleteLater();
        m_stepView = nullptr;
    }

    QList<QWidget *> chain;
    if (m_step.kind == QuestionStep::Kind::Tools) {
        m_stepLabel->setText(tr("TOOLS"));
        auto *tools = new ToolsStepView(m_model, m_stepArea);
        for (ToolTile *tile : tools->tiles())
            chain.append(tile);
        m_stepView = tools;
    } else {
        m_stepLabel->setText(tr("FUNDING"));
        const auto group = m_model->manifest().fundingGroups.constFind(m_step.group);
        // A step for a group the manifest lacks shows nothing between header and footer.
        if (group != m_model->manifest().fundingGroups.cend()) {
            auto *funding = new FundingStepView(m_model, m_step.group, *group, m_stepArea);
            chain = funding->focusChain();
            m_stepView = funding;
        } else {
            m_stepView = new QWidget(m_stepArea);
        }
    }
    m_stepArea->layout()->addWidget(m_stepView);
    m_stepView->show();

    // Top to bottom: the step's controls, then the footer's.
    chain << m_back << m_primary << m_enterprise;
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain.at(i - 1), chain.at(i));
    if (focusInside)
        chain.first()->setFocus(Qt::OtherFocusReason);
    updateChrome();
}

void QuestionsView::updateChrome()
{
    const int index = stepIndex();
    const bool last = isLastStep();
    m_counter->setText(counterText());
    m_back->setVisible(index >= 1);
    if (last)
        m_primary->setText(m_model->isReturning() ? tr("Save changes") : tr("Install"));
    else
        m_primary->setText(tr("Continue"));
    m_primary->setEnabled(!last || m_model->canSubmit());
    m_enterprise->setVisible(m_step.kind == QuestionStep::Kind::Tools && !m_model->isReturning() &&
                             !m_model->isPrivateGateway());
}

void QuestionsView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Design::paper());
}

} // namespace Wizard

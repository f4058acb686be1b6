#include "wizard/ui/FundingStepView.h"

#include "design/Design.h"
#include "wizard/ui/FieldRow.h"
#include "wizard/ui/FundingOptionRow.h"
#include "wizard/ui/ScreenParts.h"
#include "wizard/QuestionsModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace Wizard {

namespace {
constexpr int leftWidth = 236;
constexpr int columnGap = 24;
constexpr int fieldIndent = 38;
} // namespace

FundingStepView::FundingStepView(QuestionsModel *model, QString groupKey, Manifest::FundingGroup group,
                                 QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_groupKey(std::move(groupKey))
    , m_group(std::move(group))
{
    setObjectName(QStringLiteral("fundingStep"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 28, 0, 20);
    row->setSpacing(columnGap);
    row->addWidget(buildLeft());
    row->addWidget(buildRight(), 1);

    showSelection();
    connect(m_model, &QuestionsModel::selectedFundingChanged, this, [this](const QString &key) {
        if (key == m_groupKey)
            showSelection();
    });
}

QString FundingStepView::code(const QString &groupKey)
{
    return groupKey == u"claude" ? QStringLiteral("CC") : QStringLiteral("CX");
}

QWidget *FundingStepView::buildLeft()
{
    auto *left = new QWidget(this);
    left->setObjectName(QStringLiteral("fundingSummary"));
    left->setFixedWidth(leftWidth);
    auto *column = new QVBoxLayout(left);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto *codeLabel =
        makeLabel(code(m_groupKey), Design::archivo(34, Design::Weight::Bold), Design::red(), left);
    codeLabel->setObjectName(QStringLiteral("code"));
    column->addWidget(codeLabel);
    column->addWidget(makeLabel(tr("Funding"), Design::archivo(34, Design::Weight::Black, -1.4),
                                Design::ink(), left));
    auto *advice = makeLabel(
        tr("Tick everything you have. Orvane falls through to the next one when a limit hits."),
        Design::archivo(15), Design::muted(), left);
    advice->setWordWrap(true);
    column->addSpacing(8);
    column->addWidget(advice);
    column->addStretch(1);
    column->addWidget(makeRule(2, Design::line(), left));
    column->addSpacing(8);
    column->addWidget(
        makeLabel(tr("ORDER"), Design::archivo(11, Design::Weight::Regular, 1.5), Design::ink(), left));
    m_order = makeLabel({}, Design::system(14, QFont::Normal, true), Design::ink(), left);
    m_order->setObjectName(QStringLiteral("order"));
    m_order->setWordWrap(true);
    column->addSpacing(4);
    column->addWidget(m_order);
    return left;
}

QWidget *FundingStepView::buildRight()
{
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("options"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scroll->viewport()->setAutoFillBackground(false);
    // The options take the keyboard, not the area around them.
    m_scroll->setFocusPolicy(Qt::NoFocus);
    // A slim bar in the screen's own colours instead of the desktop style's arrows and trough.
    m_scroll->verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { background: transparent; width: 8px; margin: 0; }"
                       "QScrollBar::handle:vertical { background: %1; border-radius: 3px;"
                       " min-height: 24px; margin: 0 1px; }"
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical"
                       " { height: 0; }"
                       "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical"
                       " { background: none; }")
            .arg(Design::line().name()));

    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    // The bar's width stays reserved while it is hidden, so the rows keep their width when it
    // comes and goes.
    const int barWidth = m_scroll->verticalScrollBar()->sizeHint().width();
    column->setContentsMargins(0, 0, barWidth, 0);
    connect(m_scroll->verticalScrollBar(), &QScrollBar::rangeChanged, content,
            [column, barWidth](int, int maximum) {
                column->setContentsMargins(0, 0, maximum > 0 ? 0 : barWidth, 0);
            });
    column->setSpacing(0);
    column->addWidget(makeLabel(tr("Funding"), Design::archivo(46, Design::Weight::Black, -1.8),
                                Design::ink(), content));
    column->addSpacing(22);

    for (const Manifest::FundingOption &option : std::as_const(m_group.options)) {
        Option entry;
        entry.id = option.id;
        entry.row = new FundingOptionRow(option.name, content);
        entry.row->setObjectName(QStringLiteral("option-") + option.id);
        column->addWidget(entry.row);
        connect(entry.row, &FundingOptionRow::clicked, this,
                [this, id = option.id] { m_model->toggleFunding(id, m_groupKey); });

        if (!option.fields.isEmpty()) {
            entry.fields = new QWidget(content);
            entry.fields->setObjectName(QStringLiteral("fields-") + option.id);
            auto *fields = new QVBoxLayout(entry.fields);
            fields->setContentsMargins(fieldIndent, 0, 0, 0);
            fields->setSpacing(0);
            for (const Manifest::ManifestField &field : option.fields) {
                fields->addSpacing(8);
                auto *fieldRow = new FieldRow(m_model, field, entry.fields);
                fields->addWidget(fieldRow);
                entry.fieldRows.append(fieldRow);
            }
            column->addWidget(entry.fields);
        }
        m_options.append(entry);
    }
    column->addStretch(1);
    m_scroll->setWidget(content);
    // The scroll area fills what it holds by default; the step's paper shows through instead.
    content->setAutoFillBackground(false);
    return m_scroll;
}

void FundingStepView::showSelection()
{
    for (const Option &option : std::as_const(m_options)) {
        const bool selected = m_model->isFundingSelected(option.id, m_groupKey);
        option.row->setChecked(selected);
        // Hidden, not removed: the typed values stay in the model and come back with the
        // option.
        if (option.fields)
            option.fields->setVisible(selected);
    }
    m_order->setText(orderText());
}

QString FundingStepView::orderText() const
{
    QStringList names;
    for (const Manifest::FundingOption &option : m_group.options)
        if (m_model->isFundingSelected(option.id, m_groupKey))
            names.append(option.name);
    return names.join(QStringLiteral(" \u2192 "));
}

QWidget *FundingStepView::editFor(const QString &configKey) const
{
    for (const Option &option : m_options)
        for (FieldRow *fieldRow : option.fieldRows)
            if (fieldRow->field().configKey == configKey && fieldRow->isVisibleTo(m_scroll))
                return fieldRow->edit();
    return nullptr;
}

QList<QWidget *> FundingStepView::focusChain() const
{
    QList<QWidget *> chain;
    for (const Option &option : m_options) {
        chain.append(option.row);
        for (FieldRow *fieldRow : option.fieldRows)
            chain.append(fieldRow->edit());
    }
    return chain;
}

} // namespace Wizard

#include "wizard/ui/ToolsStepView.h"

#include "design/Design.h"
#include "wizard/ui/ScreenParts.h"
#include "wizard/ui/ToolTile.h"
#include "wizard/QuestionsModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace Wizard {

namespace {
constexpr int outline = 2;
}

ToolsStepView::ToolsStepView(QuestionsModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    setObjectName(QStringLiteral("toolsStep"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 34, 0, 0);
    column->setSpacing(0);
    auto *heading = makeLabel(tr("Which do you use?"), Design::archivo(46, Design::Weight::Black, -1.8),
                              Design::ink(), this);
    column->addWidget(heading);
    column->addSpacing(23);

    // The tiles share the row's width equally and never wrap, however many tools there are.
    m_row = new QWidget(this);
    m_row->setObjectName(QStringLiteral("tileRow"));
    auto *tiles = new QHBoxLayout(m_row);
    tiles->setContentsMargins(outline, outline, outline - 2, outline);
    tiles->setSpacing(0);
    for (const Manifest::ManifestHarness &harness : model->manifest().harnesses) {
        auto *tile = new ToolTile(harness.id, harness.name, m_row);
        tile->setObjectName(QStringLiteral("tile-") + harness.id);
        tiles->addWidget(tile, 1);
        m_tiles.append(tile);
        connect(tile, &ToolTile::clicked, this, [this, id = harness.id] { m_model->toggleHarness(id); });
    }
    column->addWidget(m_row);
    column->addStretch(1);

    connect(model, &QuestionsModel::selectedHarnessesChanged, this, &ToolsStepView::showSelection);
    showSelection();
}

void ToolsStepView::showSelection()
{
    for (ToolTile *tile : std::as_const(m_tiles))
        tile->setChecked(m_model->isHarnessSelected(tile->harnessId()));
}

void ToolsStepView::paintEvent(QPaintEvent *)
{
    // The 2-point outline around the whole row of tiles.
    QPainter painter(this);
    const QRect row = m_row->geometry();
    painter.fillRect(row, Design::line());
}

} // namespace Wizard

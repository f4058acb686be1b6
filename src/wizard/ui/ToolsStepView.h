#pragma once

#include <QList>
#include <QWidget>

namespace Wizard {

class QuestionsModel;
class ToolTile;

// "Which do you use?" and one tile per tool of the manifest; a tile's click selects or
// deselects its tool in the model.
class ToolsStepView : public QWidget
{
    Q_OBJECT

public:
    explicit ToolsStepView(QuestionsModel *model, QWidget *parent = nullptr);

    const QList<ToolTile *> &tiles() const { return m_tiles; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void showSelection();

    QuestionsModel *m_model;
    QWidget *m_row = nullptr;
    QList<ToolTile *> m_tiles;
};

} // namespace Wizard

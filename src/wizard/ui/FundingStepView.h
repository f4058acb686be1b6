#pragma once

#include "manifest/FundingGroup.h"

#include <QList>
#include <QWidget>

class QLabel;
class QScrollArea;

namespace Wizard {

class FieldRow;
class FundingOptionRow;
class QuestionsModel;

// One funding step: on the left the group's code, what to do and the order in which the
// chosen options are tried; on the right every option of the group with, under each chosen
// one, the fields it needs.
class FundingStepView : public QWidget
{
    Q_OBJECT

public:
    FundingStepView(QuestionsModel *model, QString groupKey, Manifest::FundingGroup group,
                    QWidget *parent = nullptr);

    QString groupKey() const { return m_groupKey; }
    // "CC" for the "claude" group, "CX" for any other.
    static QString code(const QString &groupKey);
    // The chosen options' names in the group's order, joined by " → ".
    QString orderText() const;

    // The step's focusable widgets from top to bottom, for the keyboard's tab order.
    QList<QWidget *> focusChain() const;
    // The first shown input of the field with `configKey`; null when none is shown.
    QWidget *editFor(const QString &configKey) const;

private:
    // One option with its fields, which show only while the option is chosen.
    struct Option
    {
        QString id;
        FundingOptionRow *row = nullptr;
        QWidget *fields = nullptr;
        QList<FieldRow *> fieldRows;
    };

    QWidget *buildLeft();
    QWidget *buildRight();
    void showSelection();

    QuestionsModel *m_model;
    QString m_groupKey;
    Manifest::FundingGroup m_group;
    QList<Option> m_options;
    QLabel *m_order = nullptr;
    QScrollArea *m_scroll = nullptr;
};

} // namespace Wizard

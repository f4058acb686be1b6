#pragma once

#include "manifest/ManifestField.h"

#include <QWidget>

class QLabel;
class QLineEdit;

namespace Wizard {

class QuestionsModel;

// One field of a chosen funding option: its label, the input (masked for secrets) and, while
// the typed text breaks one of the field's rules, the rule's message under it. The text lives
// in the model, so two rows of the same field edit one value and nothing typed is lost when a
// row goes away.
class FieldRow : public QWidget
{
    Q_OBJECT

public:
    FieldRow(QuestionsModel *model, Manifest::ManifestField field, QWidget *parent = nullptr);

    const Manifest::ManifestField &field() const { return m_field; }
    QLineEdit *edit() const { return m_edit; }
    // The validation message shown now, empty when none.
    QString message() const;

    // The platform's red, for validation messages.
    static QColor messageColour();

private:
    void showValue();

    QuestionsModel *m_model;
    Manifest::ManifestField m_field;
    QLineEdit *m_edit = nullptr;
    QLabel *m_message = nullptr;
};

} // namespace Wizard

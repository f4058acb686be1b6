#pragma once

#include <QWidget>

class QLineEdit;

namespace Wizard {

// A caption over a plain white text field with a 2-point outline: the enterprise form's rows.
class LabeledField : public QWidget
{
    Q_OBJECT

public:
    LabeledField(const QString &label, const QString &placeholder, QWidget *parent = nullptr);

    QString text() const;
    void setText(const QString &text);
    QLineEdit *edit() const { return m_edit; }

Q_SIGNALS:
    void textChanged(const QString &text);

private:
    QLineEdit *m_edit = nullptr;
};

} // namespace Wizard

#include "wizard/ui/LabeledField.h"

#include "design/Design.h"
#include "wizard/ui/ScreenParts.h"

#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace Wizard {

LabeledField::LabeledField(const QString &label, const QString &placeholder, QWidget *parent)
    : QWidget(parent)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(5);
    column->addWidget(
        makeLabel(label, Design::archivo(12, Design::Weight::Bold, 1.2), Design::ink(), this));

    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("edit"));
    m_edit->setPlaceholderText(placeholder);
    m_edit->setFont(Design::archivo(15));
    m_edit->setFixedHeight(42);
    // Addresses are typed as they are: no completion, no automatic capitals.
    m_edit->setInputMethodHints(Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase |
                                Qt::ImhUrlCharactersOnly);
    QPalette palette = m_edit->palette();
    palette.setColor(QPalette::Text, Design::ink());
    palette.setColor(QPalette::PlaceholderText, Design::muted());
    m_edit->setPalette(palette);
    // 12 points of inset: the 2-point border plus 10 of padding.
    m_edit->setStyleSheet(
        QStringLiteral("QLineEdit { background: white; border: 2px solid %1; padding: 0 10px; }"
                       "QLineEdit:focus { border-color: %2; }")
            .arg(Design::line().name(), Design::ink().name()));
    column->addWidget(m_edit);
    connect(m_edit, &QLineEdit::textChanged, this, &LabeledField::textChanged);
}

QString LabeledField::text() const
{
    return m_edit->text();
}

void LabeledField::setText(const QString &text)
{
    m_edit->setText(text);
}

} // namespace Wizard

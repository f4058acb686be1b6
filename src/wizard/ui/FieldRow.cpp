#include "wizard/ui/FieldRow.h"

#include "design/Design.h"
#include "wizard/ui/ScreenParts.h"
#include "wizard/QuestionsModel.h"

#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace Wizard {

FieldRow::FieldRow(QuestionsModel *model, Manifest::ManifestField field, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
    , m_field(std::move(field))
{
    setObjectName(QStringLiteral("field-") + m_field.configKey);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);

    auto *label = makeLabel(m_field.label, Design::system(11, QFont::DemiBold), systemSecondary(),
                            this);
    label->setObjectName(QStringLiteral("label"));
    column->addWidget(label);

    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("edit"));
    m_edit->setEchoMode(m_field.secret ? QLineEdit::Password : QLineEdit::Normal);
    m_edit->setPlaceholderText(m_field.placeholder.value_or(QString()));
    m_edit->setFont(Design::archivo(14));
    m_edit->setFixedHeight(36);
    m_edit->setFrame(false);
    m_edit->setAccessibleName(m_field.label);
    // Keys and addresses are typed as they are: no completion, no automatic capitals.
    m_edit->setInputMethodHints(Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase |
                                (m_field.secret ? Qt::ImhSensitiveData : Qt::ImhNone));
    QPalette palette = m_edit->palette();
    palette.setColor(QPalette::Text, Design::ink());
    palette.setColor(QPalette::PlaceholderText, Design::muted());
    m_edit->setPalette(palette);
    // 10 points of inset: the 1-point border plus 9 of padding. Secrets show as the face's own
    // bullet (U+2022): the style's usual U+25CF is not in it and comes large from another font.
    m_edit->setStyleSheet(
        QStringLiteral("QLineEdit { background: %1; border: 1px solid %2; padding: 0 9px;"
                       " lineedit-password-character: 8226; }"
                       "QLineEdit:focus { border-color: %3; }")
            .arg(Design::paper().name(), Design::line().name(), Design::ink().name()));
    column->addWidget(m_edit);

    m_message = makeLabel({}, Design::system(11), messageColour(), this);
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setWordWrap(true);
    column->addWidget(m_message);

    showValue();
    connect(m_edit, &QLineEdit::textEdited, this,
            [this](const QString &text) { m_model->setFieldValue(m_field, text); });
    connect(m_model, &QuestionsModel::fieldValuesChanged, this, [this](const QString &configKey) {
        if (configKey == m_field.configKey)
            showValue();
    });
}

QString FieldRow::message() const
{
    return m_message->isHidden() ? QString() : m_message->text();
}

QColor FieldRow::messageColour()
{
    return QColor(255, 59, 48);
}

void FieldRow::showValue()
{
    const QString value = m_model->fieldValue(m_field);
    // Only another row of the same field changes the value behind this one's back; rewriting
    // the text of the row being typed in would move its cursor.
    if (m_edit->text() != value)
        m_edit->setText(value);
    // The rules judge the text exactly as typed; trimming happens only for the installer.
    const std::optional<QString> message = m_field.validate(value);
    m_message->setText(message.value_or(QString()));
    m_message->setVisible(message.has_value());
}

} // namespace Wizard

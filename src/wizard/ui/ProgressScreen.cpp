#include "wizard/ui/ProgressScreen.h"

#include "design/Design.h"
#include "wizard/ui/ScreenParts.h"
#include "wizard/ui/Spinner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace Wizard {

ProgressScreen::ProgressScreen(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("progressScreen"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(40, 0, 40, 0);
    column->setSpacing(0);
    column->addStretch(1);

    auto *spinner = new Spinner(systemSecondary(), this);
    spinner->setObjectName(QStringLiteral("spinner"));
    column->addWidget(spinner, 0, Qt::AlignHCenter);
    column->addSpacing(16);

    m_status = makeLabel({}, Design::system(15, QFont::Medium), systemPrimary(), this);
    m_status->setObjectName(QStringLiteral("status"));
    column->addWidget(m_status, 0, Qt::AlignHCenter);
    column->addSpacing(8);

    auto *hint = makeLabel(
        tr("A browser window may open to sign in — approve there and this will continue."),
        Design::system(12), systemSecondary(), this);
    hint->setObjectName(QStringLiteral("hint"));
    hint->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    hint->setWordWrap(true);
    auto *hintRow = new QHBoxLayout;
    hintRow->setContentsMargins(20, 0, 20, 0);
    hintRow->addWidget(hint);
    column->addLayout(hintRow);
    column->addStretch(1);
}

void ProgressScreen::setStatusText(const QString &text)
{
    m_status->setText(text);
}

QString ProgressScreen::statusText() const
{
    return m_status->text();
}

} // namespace Wizard

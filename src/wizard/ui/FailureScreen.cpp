#include "wizard/ui/FailureScreen.h"

#include "design/Design.h"
#include "wizard/ui/ScreenParts.h"
#include "wizard/ui/SymbolView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace Wizard {

FailureScreen::FailureScreen(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("failureScreen"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(40, 0, 40, 0);
    column->setSpacing(0);
    column->addStretch(1);

    auto *symbol = new SymbolView(SymbolView::Symbol::XmarkCircle, 44, systemSecondary(), this);
    symbol->setObjectName(QStringLiteral("symbol"));
    column->addWidget(symbol, 0, Qt::AlignHCenter);
    column->addSpacing(16);

    auto *title = makeLabel(tr("Something went wrong"), Design::system(20, QFont::DemiBold),
                            systemPrimary(), this);
    column->addWidget(title, 0, Qt::AlignHCenter);
    column->addSpacing(8);

    m_error = makeLabel({}, Design::system(13), systemSecondary(), this);
    m_error->setObjectName(QStringLiteral("error"));
    m_error->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_error->setWordWrap(true);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *errorRow = new QHBoxLayout;
    errorRow->setContentsMargins(20, 0, 20, 0);
    errorRow->addWidget(m_error);
    column->addLayout(errorRow);
    // The desktop's usual gap between a paragraph and the button under it.
    column->addSpacing(16);

    // Drawn prominent, as the desktop draws a default button.
    auto *tryAgain = makeProminentButton(tr("Try again"), 96, this);
    tryAgain->setObjectName(QStringLiteral("tryAgain"));
    column->addWidget(tryAgain, 0, Qt::AlignHCenter);
    column->addSpacing(24);
    column->addStretch(1);

    connect(tryAgain, &QPushButton::clicked, this, &FailureScreen::retryRequested);
    // "Try again" is the screen's default action.
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *shortcut = new QShortcut(QKeySequence(key), this);
        connect(shortcut, &QShortcut::activated, tryAgain, &QPushButton::click);
    }
}

void FailureScreen::setErrorText(const QString &text)
{
    m_error->setText(text);
}

QString FailureScreen::errorText() const
{
    return m_error->text();
}

} // namespace Wizard

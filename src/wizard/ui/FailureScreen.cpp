#include "wizard/ui/FailureScreen.h"

#include "design/Design.h"
#include "wizard/ui/ScreenParts.h"
#include "wizard/ui/SymbolView.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace Wizard {

FailureScreen::FailureScreen(QWidget *parent)
    : StatusScreen(Look::System, QStringLiteral("failureScreen"), parent)
{
    auto *symbol = new SymbolView(SymbolView::Symbol::XmarkCircle, 44, systemSecondary(), this);
    symbol->setObjectName(QStringLiteral("symbol"));
    addFigure(symbol);
    addTitle(tr("Something went wrong"));
    QLabel *error = addParagraph({});
    error->setObjectName(QStringLiteral("error"));
    error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setMessageLabel(error);

    // Drawn prominent, as the desktop draws a default button; it is the screen's default action.
    auto *tryAgain = makeProminentButton(tr("Try again"), 96, this);
    tryAgain->setObjectName(QStringLiteral("tryAgain"));
    addButtons({tryAgain});
    content()->addSpacing(24);
    connect(tryAgain, &QPushButton::clicked, this, &FailureScreen::retryRequested);
    clickOnReturn(tryAgain, this);
}

} // namespace Wizard

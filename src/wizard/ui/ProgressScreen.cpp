#include "wizard/ui/ProgressScreen.h"

#include "design/Design.h"
#include "wizard/ui/ScreenParts.h"
#include "wizard/ui/Spinner.h"

#include <QLabel>

namespace Wizard {

ProgressScreen::ProgressScreen(QWidget *parent)
    : StatusScreen(Look::System, QStringLiteral("progressScreen"), parent)
{
    auto *spinner = new Spinner(systemSecondary(), this);
    spinner->setObjectName(QStringLiteral("spinner"));
    addFigure(spinner);
    // What is happening is a status line, smaller than a title; the hint under it smaller still.
    QLabel *status = addTitle({});
    status->setObjectName(QStringLiteral("status"));
    status->setFont(Design::system(15, QFont::Medium));
    setMessageLabel(status);
    auto *hint = addParagraph(
        tr("A browser window may open to sign in — approve there and this will continue."));
    hint->setObjectName(QStringLiteral("hint"));
    hint->setFont(Design::system(12));
}

} // namespace Wizard

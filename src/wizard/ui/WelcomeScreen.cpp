#include "wizard/ui/WelcomeScreen.h"

#include "design/Design.h"
#include "design/FlatButton.h"
#include "wizard/ui/ScreenParts.h"

#include <QLabel>
#include <QVBoxLayout>

namespace Wizard {

WelcomeScreen::WelcomeScreen(QWidget *parent)
    : StatusScreen(Look::Red, QStringLiteral("welcomeScreen"), parent)
{
    addHeading(tr("ORVANE"));
    addTitle(tr("Same agents.\nSmaller bill."));

    // The command name is set in the system's monospaced face inside the Archivo sentence.
    const QFont mono = Design::system(17, QFont::Normal, true);
    const QString command =
        QStringLiteral("<span style=\"font-family:'%1'\">orv</span>").arg(mono.family());
    auto *tagLine =
        addParagraph(tr("Two minutes to set up. Then you type %1 instead.").arg(command), 400);
    tagLine->setTextFormat(Qt::RichText);
    content()->addSpacing(36);
    content()->addWidget(makeRule(2, Qt::white, this));

    auto *getStarted = new Design::FlatButton(tr("Get started"), this);
    getStarted->setObjectName(QStringLiteral("getStarted"));
    getStarted->setFont(Design::archivo(16, Design::Weight::Bold));
    getStarted->setColors(Design::paper(), Design::red());
    getStarted->setHorizontalPadding(28);
    getStarted->setTextAlignment(Qt::AlignLeft);
    getStarted->setDesignSize({145, 62});
    addButtons({getStarted});
    connect(getStarted, &Design::FlatButton::clicked, this, &WelcomeScreen::getStartedClicked);
    // Return starts, as the screen's default action.
    clickOnReturn(getStarted, this);
}

} // namespace Wizard

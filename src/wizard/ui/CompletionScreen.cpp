#include "wizard/ui/CompletionScreen.h"

#include "design/Design.h"
#include "design/FlatButton.h"

namespace Wizard {

CompletionScreen::CompletionScreen(QWidget *parent)
    : StatusScreen(Look::Red, QStringLiteral("completionScreen"), parent)
{
    addHeading(tr("DONE"));
    addTitle(tr("Ready."));
    addParagraph(tr("Launch from terminal or with the Orv Launcher."));

    // No Return key here: the launcher is one click away, never a key press that was meant for
    // the installer's screen.
    auto *open = new Design::FlatButton(tr("Open Launcher"), this);
    open->setObjectName(QStringLiteral("openLauncher"));
    open->setFont(Design::archivo(16, Design::Weight::Bold));
    open->setColors(Design::paper(), Design::red());
    open->setDesignSize({205, 62});
    addButtons({open});
    connect(open, &Design::FlatButton::clicked, this, &CompletionScreen::openLauncherRequested);
}

} // namespace Wizard

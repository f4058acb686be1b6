#include "wizard/ui/CompletionScreen.h"

#include "design/Design.h"
#include "design/FlatButton.h"
#include "wizard/ui/ScreenParts.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace Wizard {

CompletionScreen::CompletionScreen(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("completionScreen"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(44, 48, 44, 34);
    column->setSpacing(0);

    column->addWidget(
        makeLabel(tr("DONE"), Design::archivo(12, Design::Weight::Bold, 2.2), Qt::white, this));
    column->addStretch(1);

    auto *headline = makeLabel(tr("Ready."), Design::archivo(78, Design::Weight::Black, -3.5),
                               Qt::white, this);
    headline->setObjectName(QStringLiteral("headline"));
    column->addWidget(headline);
    column->addSpacing(22);

    auto *text = makeLabel(tr("Launch from terminal or with the Orv Launcher."),
                           Design::archivo(17), QColor::fromRgbF(1, 1, 1, 0.94f), this);
    text->setWordWrap(true);
    column->addWidget(text);
    column->addSpacing(34);

    // No Return key here: the launcher is one click away, never a key press that was meant for
    // the installer's screen.
    auto *open = new Design::FlatButton(tr("Open Launcher"), this);
    open->setObjectName(QStringLiteral("openLauncher"));
    open->setFont(Design::archivo(16, Design::Weight::Bold));
    open->setColors(Design::paper(), Design::red());
    open->setFixedSize(205, 62);
    column->addWidget(open, 0, Qt::AlignLeft);
    connect(open, &Design::FlatButton::clicked, this, &CompletionScreen::openLauncherRequested);
}

void CompletionScreen::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Design::red());
}

} // namespace Wizard

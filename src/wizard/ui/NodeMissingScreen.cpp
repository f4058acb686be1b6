#include "wizard/ui/NodeMissingScreen.h"

#include "design/Design.h"
#include "wizard/Log.h"
#include "wizard/ui/ScreenParts.h"
#include "wizard/ui/SymbolView.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace Wizard {

NodeMissingScreen::NodeMissingScreen(QWidget *parent)
    : StatusScreen(Look::System, QStringLiteral("nodeMissingScreen"), parent)
{
    auto *symbol =
        new SymbolView(SymbolView::Symbol::ExclamationCircle, 44, systemSecondary(), this);
    symbol->setObjectName(QStringLiteral("symbol"));
    addFigure(symbol);
    addTitle(tr("Node.js is required"));
    addParagraph(tr("Orvane runs on Node.js, which isn’t installed on this computer yet. Install "
                    "it, then come back here."))
        ->setObjectName(QStringLiteral("explanation"));

    auto *checkAgain = makeSystemButton(tr("Check again"), 0, this);
    checkAgain->setObjectName(QStringLiteral("checkAgain"));
    auto *getNode = makeProminentButton(tr("Get Node.js"), 88, this);
    getNode->setObjectName(QStringLiteral("getNode"));
    getNode->setCursor(Qt::PointingHandCursor);
    addButtons({checkAgain, getNode});

    content()->addSpacing(10);
    m_recheckLine = makeLabel({}, Design::system(11), systemTertiary(), this);
    m_recheckLine->setObjectName(QStringLiteral("recheckLine"));
    content()->addWidget(m_recheckLine, 0, Qt::AlignHCenter);
    content()->addSpacing(26);
    setRechecked(false);

    connect(checkAgain, &QPushButton::clicked, this, &NodeMissingScreen::recheckRequested);
    connect(getNode, &QPushButton::clicked, this, [] {
        if (!QDesktopServices::openUrl(downloadPage()))
            qCWarning(lcWizard, "No browser opened %s", qUtf8Printable(downloadPage().toString()));
    });
}

void NodeMissingScreen::setRechecked(bool rechecked)
{
    // A single space before the first recheck keeps the line's height, so nothing moves when
    // the sentence appears.
    m_recheckLine->setText(rechecked ? tr("Still not finding Node.js.") : QStringLiteral(" "));
}

QUrl NodeMissingScreen::downloadPage()
{
    return QUrl(QStringLiteral("https://nodejs.org/en/download"));
}

} // namespace Wizard

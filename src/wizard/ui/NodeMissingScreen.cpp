#include "wizard/ui/NodeMissingScreen.h"

#include "design/Design.h"
#include "wizard/ui/ScreenParts.h"
#include "wizard/ui/SymbolView.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace Wizard {

NodeMissingScreen::NodeMissingScreen(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("nodeMissingScreen"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(40, 0, 40, 0);
    column->setSpacing(0);
    column->addStretch(1);

    auto *symbol = new SymbolView(SymbolView::Symbol::ExclamationCircle, 44, systemSecondary(), this);
    symbol->setObjectName(QStringLiteral("symbol"));
    column->addWidget(symbol, 0, Qt::AlignHCenter);
    column->addSpacing(16);

    auto *title = makeLabel(tr("Node.js is required"), Design::system(20, QFont::DemiBold),
                            systemPrimary(), this);
    column->addWidget(title, 0, Qt::AlignHCenter);
    column->addSpacing(8);

    auto *explanation = makeLabel(
        tr("Orvane runs on Node.js, which isn’t installed on this computer yet. Install it, then "
           "come back here."),
        Design::system(13), systemSecondary(), this);
    explanation->setObjectName(QStringLiteral("explanation"));
    explanation->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    explanation->setWordWrap(true);
    auto *explanationRow = new QHBoxLayout;
    explanationRow->setContentsMargins(20, 0, 20, 0);
    explanationRow->addWidget(explanation);
    column->addLayout(explanationRow);
    // The desktop's usual gap between a paragraph and the buttons under it.
    column->addSpacing(16);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    buttons->addStretch(1);
    auto *checkAgain = makeSystemButton(tr("Check again"), 0, this);
    checkAgain->setObjectName(QStringLiteral("checkAgain"));
    buttons->addWidget(checkAgain, 0, Qt::AlignVCenter);
    auto *getNode = makeProminentButton(tr("Get Node.js"), 88, this);
    getNode->setObjectName(QStringLiteral("getNode"));
    getNode->setCursor(Qt::PointingHandCursor);
    buttons->addWidget(getNode, 0, Qt::AlignVCenter);
    buttons->addStretch(1);
    column->addLayout(buttons);
    column->addSpacing(10);

    m_recheckLine = makeLabel({}, Design::system(11), systemTertiary(), this);
    m_recheckLine->setObjectName(QStringLiteral("recheckLine"));
    column->addWidget(m_recheckLine, 0, Qt::AlignHCenter);
    column->addSpacing(26);
    column->addStretch(1);
    setRechecked(false);

    connect(checkAgain, &QPushButton::clicked, this, &NodeMissingScreen::recheckRequested);
    connect(getNode, &QPushButton::clicked, this, [] { QDesktopServices::openUrl(downloadPage()); });
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

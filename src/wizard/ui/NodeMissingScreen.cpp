#include "wizard/ui/NodeMissingScreen.h"

#include "design/Design.h"
#include "wizard/Log.h"
#include "wizard/ui/ScreenParts.h"
#include "wizard/ui/Spinner.h"
#include "wizard/ui/SymbolView.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStackedLayout>
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

    auto *checkAgain = m_checkAgain = makeSystemButton(tr("Check again"), 0, this);
    checkAgain->setObjectName(QStringLiteral("checkAgain"));
    auto *getNode = makeProminentButton(tr("Get Node.js"), 88, this);
    getNode->setObjectName(QStringLiteral("getNode"));
    getNode->setCursor(Qt::PointingHandCursor);
    addButtons({checkAgain, getNode});

    content()->addSpacing(10);
    // The line and the spinner take turns in one place of the line's height.
    auto *place = new QWidget(this);
    auto *stack = new QStackedLayout(place);
    stack->setStackingMode(QStackedLayout::StackAll);
    m_recheckLine = makeLabel({}, Design::system(11), systemTertiary(), place);
    m_recheckLine->setObjectName(QStringLiteral("recheckLine"));
    m_recheckLine->setAlignment(Qt::AlignCenter);
    stack->addWidget(m_recheckLine);
    m_spinner = new Spinner(systemSecondary(), place);
    m_spinner->setObjectName(QStringLiteral("recheckSpinner"));
    const int side = m_recheckLine->sizeHint().height();
    m_spinner->setFixedSize(side, side);
    auto *spinnerRow = new QWidget(place);
    auto *centred = new QHBoxLayout(spinnerRow);
    centred->setContentsMargins(0, 0, 0, 0);
    centred->addWidget(m_spinner, 0, Qt::AlignCenter);
    stack->addWidget(spinnerRow);
    place->setFixedHeight(side);
    content()->addWidget(place);
    content()->addSpacing(26);
    showLine();

    connect(checkAgain, &QPushButton::clicked, this, &NodeMissingScreen::recheckRequested);
    connect(getNode, &QPushButton::clicked, this, [this] {
        if (QDesktopServices::openUrl(downloadPage()))
            return;
        const QString page = downloadPage().toString();
        qCWarning(lcWizard, "No browser opened %s", qUtf8Printable(page));
        // The address stays readable, for the user to open by hand.
        m_recheckLine->setText(tr("Couldn't open a browser: %1").arg(page));
        m_recheckLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    });
}

void NodeMissingScreen::setRechecked(bool rechecked)
{
    m_rechecked = rechecked;
    showLine();
}

void NodeMissingScreen::setChecking(bool checking)
{
    m_checking = checking;
    // Disabled, the button would pass the keyboard on to "Get Node.js"; the spinner holds it
    // meanwhile and hands it back. (The window's focus widget, whether the window is active
    // or not, as Qt itself decides.)
    QWidget *window = this->window();
    if (checking) {
        showLine();
        if (window->focusWidget() == m_checkAgain)
            m_spinner->setFocus();
        m_checkAgain->setEnabled(false);
    } else {
        m_checkAgain->setEnabled(true);
        if (window->focusWidget() == m_spinner)
            m_checkAgain->setFocus();
        showLine();
    }
}

void NodeMissingScreen::showLine()
{
    // Said only once a recheck has found nothing. A single space keeps the line's height
    // otherwise, so nothing moves when the sentence appears.
    const bool notFound = m_rechecked && !m_checking;
    m_recheckLine->setText(notFound ? tr("Still not finding Node.js.") : QStringLiteral(" "));
    m_spinner->setVisible(m_checking);
}

QUrl NodeMissingScreen::downloadPage()
{
    return QUrl(QStringLiteral("https://nodejs.org/en/download"));
}

} // namespace Wizard

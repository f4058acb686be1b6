#include "wizard/ui/WelcomeScreen.h"

#include "design/Design.h"
#include "design/FlatButton.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QShortcut>
#include <QVBoxLayout>

namespace Wizard {

namespace {

QLabel *whiteLabel(const QString &text, const QFont &font, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    return label;
}

} // namespace

WelcomeScreen::WelcomeScreen(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("welcomeScreen"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(44, 48, 44, 34);
    column->setSpacing(0);

    auto *wordmark =
        whiteLabel(tr("ORVANE"), Design::archivo(12, Design::Weight::Bold, 2.2), this);
    column->addWidget(wordmark);
    column->addStretch(1);

    auto *headline = whiteLabel(tr("Same agents.\nSmaller bill."),
                                Design::archivo(78, Design::Weight::Black, -3.5), this);
    headline->setObjectName(QStringLiteral("headline"));
    headline->setWordWrap(true);
    column->addWidget(headline);
    column->addSpacing(22);

    // The command name is set in the system's monospaced face inside the Archivo sentence.
    const QFont mono = Design::system(17, QFont::Normal, true);
    const QString command =
        QStringLiteral("<span style=\"font-family:'%1'\">orv</span>").arg(mono.family());
    auto *tagLine = whiteLabel(tr("Two minutes to set up. Then you type %1 instead.").arg(command),
                               Design::archivo(17), this);
    tagLine->setTextFormat(Qt::RichText);
    tagLine->setWordWrap(true);
    tagLine->setMaximumWidth(400);
    QPalette tagPalette = tagLine->palette();
    tagPalette.setColor(QPalette::WindowText, QColor(255, 255, 255, 240));
    tagLine->setPalette(tagPalette);
    column->addWidget(tagLine);
    column->addSpacing(36);

    auto *rule = new QFrame(this);
    rule->setFixedHeight(2);
    rule->setAutoFillBackground(true);
    QPalette rulePalette = rule->palette();
    rulePalette.setColor(QPalette::Window, Qt::white);
    rule->setPalette(rulePalette);
    column->addWidget(rule);
    column->addSpacing(34);

    m_getStarted = new Design::FlatButton(tr("Get started"), this);
    m_getStarted->setObjectName(QStringLiteral("getStarted"));
    m_getStarted->setFont(Design::archivo(16, Design::Weight::Bold));
    m_getStarted->setColors(Design::paper(), Design::red());
    m_getStarted->setHorizontalPadding(28);
    m_getStarted->setTextAlignment(Qt::AlignLeft);
    m_getStarted->setFixedSize(145, 62);
    column->addWidget(m_getStarted, 0, Qt::AlignLeft);
    connect(m_getStarted, &Design::FlatButton::clicked, this, &WelcomeScreen::getStartedClicked);

    // Return starts, as the screen's default action.
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *shortcut = new QShortcut(QKeySequence(key), this);
        connect(shortcut, &QShortcut::activated, m_getStarted, &Design::FlatButton::click);
    }
}

void WelcomeScreen::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Design::red());
}

} // namespace Wizard

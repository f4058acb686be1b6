#include "wizard/ui/ClaudeDesktopNotice.h"

#include "design/Design.h"
#include "design/FlatButton.h"
#include "wizard/ui/ScreenParts.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace Wizard {

ClaudeDesktopNotice::ClaudeDesktopNotice(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("claudeDesktopNotice"));
    setFocusPolicy(Qt::NoFocus);

    m_card = new QFrame(this);
    m_card->setObjectName(QStringLiteral("noticeCard"));
    m_card->setFixedWidth(518);
    m_card->setStyleSheet(QStringLiteral("#noticeCard { background: %1; border: 2px solid %2; }")
                              .arg(Design::paper().name(), Design::ink().name()));

    auto *column = new QVBoxLayout(m_card);
    column->setContentsMargins(28, 28, 28, 28);
    column->setSpacing(16);
    const auto addText = [&](const QString &text, const QFont &font) {
        auto *label = makeLabel(text, font, Design::ink(), m_card);
        label->setWordWrap(true);
        column->addWidget(label);
    };
    addText(QStringLiteral("One thing about Claude"), Design::archivo(28, Design::Weight::Black));
    addText(
        QStringLiteral("After this, Claude Desktop keeps using Orvane \u2014 even when you open "
                       "it yourself later. The terminal is unaffected."),
        Design::archivo(16));
    addText(
        QStringLiteral("To undo it: account menu \u2192 sign out of Gateway \u2192 sign back in."),
        Design::archivo(16));

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    buttons->setContentsMargins(0, 2, 0, 0);

    auto *openAnyway = new Design::FlatButton(QStringLiteral("Open anyway"), m_card);
    openAnyway->setObjectName(QStringLiteral("openAnyway"));
    openAnyway->setFont(Design::archivo(16, Design::Weight::Bold));
    openAnyway->setColors(Design::red(), Qt::white);
    openAnyway->setDesignSize({150, 38});
    buttons->addWidget(openAnyway);

    auto *cancel = new Design::FlatButton(QStringLiteral("Cancel"), m_card);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setFont(Design::archivo(16, Design::Weight::Bold));
    cancel->setColors(Qt::transparent, Design::ink());
    cancel->setOutline(Design::line(), 1);
    cancel->setDesignSize({88, 38});
    buttons->addWidget(cancel);
    buttons->addStretch(1);

    auto *dontShow = new Design::FlatButton(QStringLiteral("Don\u2019t show again"), m_card);
    dontShow->setObjectName(QStringLiteral("dontShowAgain"));
    dontShow->setFont(Design::archivo(16));
    dontShow->setColors(Qt::transparent, Design::ink());
    dontShow->setHorizontalPadding(4);
    dontShow->setFixedHeight(38);
    buttons->addWidget(dontShow);
    column->addLayout(buttons);

    m_buttons = {openAnyway, cancel, dontShow};
    connect(openAnyway, &Design::FlatButton::clicked, this, &ClaudeDesktopNotice::openAnywayClicked);
    connect(cancel, &Design::FlatButton::clicked, this, &ClaudeDesktopNotice::cancelClicked);
    connect(dontShow, &Design::FlatButton::clicked, this, &ClaudeDesktopNotice::dontShowAgainClicked);
    hide();
}

void ClaudeDesktopNotice::place()
{
    if (parentWidget())
        setGeometry(parentWidget()->rect());
    m_card->adjustSize();
    m_card->move((width() - m_card->width()) / 2, (height() - m_card->height()) / 2);
}

void ClaudeDesktopNotice::present()
{
    place();
    show();
    raise();
    m_buttons.first()->setFocus(Qt::OtherFocusReason);
}

void ClaudeDesktopNotice::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 140));
}

void ClaudeDesktopNotice::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        Q_EMIT cancelClicked();
        return;
    }
    // Nothing else leaks to the screen beneath.
    event->accept();
}

void ClaudeDesktopNotice::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

bool ClaudeDesktopNotice::focusNextPrevChild(bool next)
{
    const int count = int(m_buttons.size());
    int current = -1;
    for (int i = 0; i < count; ++i)
        if (m_buttons[i]->hasFocus())
            current = i;
    const int target = current < 0 ? 0 : (current + (next ? 1 : count - 1)) % count;
    m_buttons[target]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

} // namespace Wizard

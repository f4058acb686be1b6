#include "wizard/ui/StatusScreen.h"

#include "design/Design.h"
#include "wizard/ui/ScreenParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace Wizard {

StatusScreen::StatusScreen(Look look, const QString &name, QWidget *parent)
    : QWidget(parent)
    , m_look(look)
{
    setObjectName(name);
    m_column = new QVBoxLayout(this);
    m_column->setSpacing(0);
    m_content = new QVBoxLayout;
    m_content->setContentsMargins(0, 0, 0, 0);
    m_content->setSpacing(0);
    if (look == Look::Red) {
        m_column->setContentsMargins(44, 48, 44, 34);
        m_column->addStretch(1);
        m_column->addLayout(m_content);
    } else {
        m_column->setContentsMargins(40, 0, 40, 0);
        m_column->addStretch(1);
        m_column->addLayout(m_content);
        m_column->addStretch(1);
    }
}

QLabel *StatusScreen::addHeading(const QString &text)
{
    auto *heading =
        makeLabel(text, Design::archivo(12, Design::Weight::Bold, 2.2), Qt::white, this);
    m_column->insertWidget(0, heading);
    return heading;
}

void StatusScreen::addFigure(QWidget *figure)
{
    m_content->addWidget(figure, 0, Qt::AlignHCenter);
    m_content->addSpacing(16);
}

QLabel *StatusScreen::addTitle(const QString &text)
{
    if (m_look == Look::Red) {
        auto *title =
            makeLabel(text, Design::archivo(78, Design::Weight::Black, -3.5), Qt::white, this);
        title->setObjectName(QStringLiteral("headline"));
        title->setWordWrap(true);
        m_content->addWidget(title);
        m_content->addSpacing(22);
        return title;
    }
    auto *title = makeLabel(text, Design::system(20, QFont::DemiBold), systemPrimary(), this);
    m_content->addWidget(title, 0, Qt::AlignHCenter);
    m_content->addSpacing(8);
    return title;
}

QLabel *StatusScreen::addParagraph(const QString &text, int maximumWidth)
{
    if (m_look == Look::Red) {
        auto *paragraph = makeLabel(text, Design::archivo(17), QColor(255, 255, 255, 240), this);
        paragraph->setWordWrap(true);
        paragraph->setMaximumWidth(maximumWidth);
        // In a row with room beside it, the column asks for the paragraph's height at the
        // width the paragraph gets, not at its own: a narrow paragraph's extra lines then take
        // room of their own instead of the title's.
        auto *row = new QHBoxLayout;
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(paragraph, 1);
        row->addStretch(0);
        m_content->addLayout(row);
        return paragraph;
    }
    auto *paragraph = makeLabel(text, Design::system(13), systemSecondary(), this);
    paragraph->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    paragraph->setWordWrap(true);
    auto *row = new QHBoxLayout;
    row->setContentsMargins(20, 0, 20, 0);
    row->addWidget(paragraph);
    m_content->addLayout(row);
    return paragraph;
}

void StatusScreen::addButtons(const QList<QWidget *> &buttons)
{
    // The keyboard starts on the first button, so Return presses it at once.
    if (!buttons.isEmpty())
        setFocusProxy(buttons.first());
    if (m_look == Look::Red) {
        m_content->addSpacing(34);
        for (QWidget *button : buttons)
            m_content->addWidget(button, 0, Qt::AlignLeft);
        return;
    }
    // The desktop's usual gap between a paragraph and the buttons under it.
    m_content->addSpacing(16);
    auto *row = new QHBoxLayout;
    row->setSpacing(10);
    row->addStretch(1);
    for (QWidget *button : buttons)
        row->addWidget(button, 0, Qt::AlignVCenter);
    row->addStretch(1);
    m_content->addLayout(row);
}

void StatusScreen::setMessage(const QString &text)
{
    if (m_message)
        m_message->setText(text);
}

void StatusScreen::paintEvent(QPaintEvent *)
{
    if (m_look == Look::Red)
        QPainter(this).fillRect(rect(), Design::red());
}

} // namespace Wizard

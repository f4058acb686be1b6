#include "wizard/ui/CommandCard.h"

#include "design/Design.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace Wizard {

namespace {

// The platform has no named green; this one reads well on the black card.
QColor commandGreen()
{
    return QColor(0x30, 0xD1, 0x58);
}

} // namespace

CommandCard::CommandCard(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("commandCard"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setMaximumWidth(320);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(8);

    m_command = new QLabel(this);
    m_command->setObjectName(QStringLiteral("command"));
    m_command->setFont(Design::system(22, QFont::Normal, true));
    m_command->setTextFormat(Qt::PlainText);
    m_command->setWordWrap(true);
    QPalette commandPalette = m_command->palette();
    commandPalette.setColor(QPalette::WindowText, commandGreen());
    m_command->setPalette(commandPalette);
    column->addWidget(m_command);

    auto *copied = new QLabel(QStringLiteral("Copied to clipboard"), this);
    copied->setFont(Design::system(15, QFont::Normal, true));
    QPalette copiedPalette = copied->palette();
    copiedPalette.setColor(QPalette::WindowText, QColor(255, 255, 255, 191));
    copied->setPalette(copiedPalette);
    column->addWidget(copied);

    auto *shadow = new QGraphicsDropShadowEffect(this);
    shadow->setColor(QColor(0, 0, 0, 84));
    shadow->setBlurRadius(18);
    shadow->setOffset(0, 0);
    setGraphicsEffect(shadow);
}

void CommandCard::setCommand(const QString &command)
{
    m_command->setText(command);
    adjustSize();
}

QString CommandCard::command() const
{
    return m_command->text();
}

void CommandCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.setPen(QPen(QColor(255, 255, 255, 51), 1));
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

} // namespace Wizard

#include "wizard/ui/ScreenParts.h"

#include "design/Design.h"
#include "design/FlatButton.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace Wizard {

QLabel *makeLabel(const QString &text, const QFont &font, const QColor &colour, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    label->setPalette(palette);
    return label;
}

QWidget *makeRule(int thickness, const QColor &colour, QWidget *parent, bool vertical)
{
    auto *rule = new QWidget(parent);
    if (vertical)
        rule->setFixedWidth(thickness);
    else
        rule->setFixedHeight(thickness);
    rule->setAutoFillBackground(true);
    QPalette palette = rule->palette();
    palette.setColor(QPalette::Window, colour);
    rule->setPalette(palette);
    return rule;
}

// The shades the platform's light appearance gives its primary, secondary and tertiary labels.
QColor systemPrimary()
{
    return QColor::fromRgbF(0, 0, 0, 0.85f);
}

QColor systemSecondary()
{
    return QColor::fromRgbF(0, 0, 0, 0.5f);
}

QColor systemTertiary()
{
    return QColor::fromRgbF(0, 0, 0, 0.26f);
}

namespace {

// Large controls: a taller box and the system font at 13 points, as the desktop's own
// prominent dialogs draw them.
void makeLarge(QPushButton *button, int minLabelWidth)
{
    button->setFont(Design::system(13));
    const int labelWidth = qMax(minLabelWidth, button->fontMetrics().horizontalAdvance(button->text()));
    button->setMinimumSize(labelWidth + 32, 32);
    button->setFocusPolicy(Qt::StrongFocus);
    // Return presses the button that has the focus, as Space does.
    button->setAutoDefault(true);
}

} // namespace

QPushButton *makeSystemButton(const QString &text, int minLabelWidth, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    makeLarge(button, minLabelWidth);
    return button;
}

QPushButton *makeProminentButton(const QString &text, int minLabelWidth, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    makeLarge(button, minLabelWidth);
    button->setStyleSheet(QStringLiteral(
        "QPushButton { background: palette(highlight); color: palette(highlighted-text);"
        " border: 1px solid palette(highlight); border-radius: 6px; padding: 0 16px; }"
        "QPushButton:pressed { background: palette(dark); }"
        "QPushButton:focus { border: 2px solid palette(shadow); }"));
    return button;
}

Design::FlatButton *makeBackButton(QWidget *parent)
{
    auto *button = new Design::FlatButton(QCoreApplication::translate("Wizard", "Back"), parent);
    button->setFont(Design::archivo(15, Design::Weight::Bold));
    button->setColors(Design::paper(), Design::ink());
    button->setOutline(Design::line(), 2);
    button->setDesignSize({92, 46});
    return button;
}

Design::FlatButton *makePrimaryButton(const QString &text, QWidget *parent)
{
    auto *button = new Design::FlatButton(text, parent);
    button->setFont(Design::archivo(15, Design::Weight::Bold));
    button->setColors(Design::red(), Qt::white);
    button->setDesignSize({142, 46});
    return button;
}

Design::FlatButton *makeLinkButton(const QString &text, const QFont &font, QWidget *parent)
{
    auto *button = new Design::FlatButton(text, parent);
    QFont underlined = font;
    underlined.setUnderline(true);
    button->setFont(underlined);
    button->setColors(Qt::transparent, Design::red());
    button->setHorizontalPadding(2);
    button->setFixedHeight(QFontMetrics(underlined).height() + 4);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return button;
}

void clickOnReturn(QAbstractButton *button, QWidget *screen)
{
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto *shortcut = new QShortcut(QKeySequence(key), screen);
        QObject::connect(shortcut, &QShortcut::activated, button, [button, screen] {
            // A focused push button of the desktop's style does not claim the key first.
            auto *focused = qobject_cast<QAbstractButton *>(QApplication::focusWidget());
            (focused && screen->isAncestorOf(focused) ? focused : button)->click();
        });
    }
}

void clickOnEscape(QAbstractButton *button, QWidget *screen)
{
    auto *shortcut = new QShortcut(QKeySequence(Qt::Key_Escape), screen);
    QObject::connect(shortcut, &QShortcut::activated, button, [button] {
        if (button->isVisible())
            button->click();
    });
}

QWidget *makeStepHeader(QLabel *title, QWidget *right, QWidget *parent)
{
    auto *header = new QWidget(parent);
    auto *column = new QVBoxLayout(header);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto *row = new QHBoxLayout;
    row->setContentsMargins(40, 19, 40, 19);
    row->setSpacing(0);
    title->setParent(header);
    row->addWidget(title);
    row->addStretch(1);
    if (right) {
        right->setParent(header);
        row->addWidget(right);
    }
    column->addLayout(row);
    column->addWidget(makeRule(2, Design::line(), header));
    return header;
}

} // namespace Wizard

#pragma once

#include <QColor>
#include <QFont>
#include <QString>

namespace Design {
class FlatButton;
}
class QAbstractButton;
class QLabel;
class QPushButton;
class QWidget;

// Small pieces the wizard's screens share: labels in a fixed colour, rules, the system screens'
// text colours and buttons, the footer buttons of the question screens and their Return key.
namespace Wizard {

// A plain-text label drawn in `colour` (alpha included) with `font`.
QLabel *makeLabel(const QString &text, const QFont &font, const QColor &colour, QWidget *parent);

// A solid bar `thickness` points high (or wide, when `vertical`) in `colour`.
QWidget *makeRule(int thickness, const QColor &colour, QWidget *parent, bool vertical = false);

// Text colours of the system screens. The backdrop behind them is always light, so they are
// fixed shades of black rather than the desktop theme's text colour, which may be light.
QColor systemPrimary();
QColor systemSecondary();
QColor systemTertiary();

// A large standard push button of the system screens, its label at least `minLabelWidth` wide.
QPushButton *makeSystemButton(const QString &text, int minLabelWidth, QWidget *parent);
// The same, drawn prominent: filled with the desktop's accent colour.
QPushButton *makeProminentButton(const QString &text, int minLabelWidth, QWidget *parent);

// The question screens' footer buttons: "Back" (92 by 46, ink on paper, 2-point line border)
// and the primary button (142 by 46, white on red).
Design::FlatButton *makeBackButton(QWidget *parent);
Design::FlatButton *makePrimaryButton(const QString &text, QWidget *parent);

// A link: red, underlined text without chrome, as tall as its font and as wide as its text.
Design::FlatButton *makeLinkButton(const QString &text, const QFont &font, QWidget *parent);

// Return and Enter in `screen` click `button`, the screen's default action (a disabled button
// ignores them), unless the focus is on a button, which takes them itself.
void clickOnReturn(QAbstractButton *button, QWidget *screen);
// Escape in `screen` clicks `button` while it is shown and enabled.
void clickOnEscape(QAbstractButton *button, QWidget *screen);

// The header band of the question screens: a title on the left, an optional right-hand part
// (nullptr for none), 40 by 19 points of padding and a 2-point line rule along its bottom.
QWidget *makeStepHeader(QLabel *title, QWidget *right, QWidget *parent);

} // namespace Wizard

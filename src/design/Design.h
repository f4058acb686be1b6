#pragma once

#include <QColor>
#include <QFont>

class QWidget;

// The shared look of the setup window: palette, the Archivo font function and small helpers.
namespace Design {

QColor red();   // brand colour: red screens, primary buttons, selections, links
QColor paper(); // light backgrounds, secondary buttons
QColor ink();   // main text on paper
QColor muted(); // secondary text, codes, version line
QColor line();  // rules, dividers, outlines
QColor cream(); // the initial inside the app mark

enum class Weight
{
    Regular,
    Bold,
    Black
};

// The family name the registered faces share.
QString archivoFamily();

// Archivo at `size` points (one point is one device-independent pixel, as the window's 720 by
// 560 points are) with letter spacing in points. Regular uses the Regular face, Bold the
// SemiBold face, Black the Black face (or ExtraBold where Black is missing).
QFont archivo(qreal size, Weight weight = Weight::Regular, qreal letterSpacing = 0);

// The system font at `size` points; `monospaced` picks the system's fixed-pitch family.
QFont system(qreal size, QFont::Weight weight = QFont::Normal, bool monospaced = false);

// The pointing-hand cursor while the pointer is over `widget`; the window system restores
// the previous cursor when it leaves.
void handCursor(QWidget *widget);

} // namespace Design

#include "design/Design.h"

#include "design/Log.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QWidget>

#include <array>

namespace Design {

namespace {
QColor fromComponents(double r, double g, double b)
{
    return QColor::fromRgbF(static_cast<float>(r), static_cast<float>(g), static_cast<float>(b));
}
} // namespace

QColor red()
{
    static const QColor colour = fromComponents(0.925, 0.188, 0.075);
    return colour;
}

QColor paper()
{
    static const QColor colour = fromComponents(0.955, 0.949, 0.949);
    return colour;
}

QColor ink()
{
    static const QColor colour = fromComponents(0.125, 0.118, 0.114);
    return colour;
}

QColor muted()
{
    static const QColor colour = fromComponents(0.47, 0.46, 0.46);
    return colour;
}

QColor line()
{
    static const QColor colour = fromComponents(0.62, 0.61, 0.61);
    return colour;
}

QColor cream()
{
    static const QColor colour = fromComponents(0.984, 0.969, 0.937);
    return colour;
}

QString archivoFamily()
{
    return QStringLiteral("Archivo");
}

QFont archivo(qreal size, Weight weight, qreal letterSpacing)
{
    QFont font(archivoFamily());
    font.setPixelSize(qMax(1, qRound(size)));
    switch (weight) {
    case Weight::Regular:
        font.setWeight(QFont::Normal);
        break;
    case Weight::Bold:
        font.setWeight(QFont::DemiBold);
        break;
    case Weight::Black:
        font.setWeight(QFont::Black);
        break;
    }
    if (letterSpacing != 0)
        font.setLetterSpacing(QFont::AbsoluteSpacing, letterSpacing);
    font.setStyleStrategy(QFont::PreferAntialias);
    // Said once a weight: a face that did not load is drawn in whatever the system matches.
    static std::array<bool, 3> checked{};
    if (!std::exchange(checked.at(std::size_t(weight)), true)) {
        const QFontInfo info(font);
        if (info.family() != archivoFamily())
            qCWarning(lcDesign, "Archivo at weight %d is not available; drawn in %s instead",
                      font.weight(), qUtf8Printable(info.family()));
    }
    return font;
}

QFont system(qreal size, QFont::Weight weight, bool monospaced)
{
    QFont font = QFontDatabase::systemFont(monospaced ? QFontDatabase::FixedFont
                                                      : QFontDatabase::GeneralFont);
    font.setPixelSize(qMax(1, qRound(size)));
    font.setWeight(weight);
    return font;
}

void handCursor(QWidget *widget)
{
    widget->setCursor(Qt::PointingHandCursor);
}

} // namespace Design

#pragma once

#include <QColor>
#include <QIcon>
#include <QWidget>

namespace Wizard {

// One of the small symbols the status screens show, in a single colour. Taken from the desktop's
// icon theme when it has an equivalent, drawn with lines otherwise, so it is never missing.
class SymbolView : public QWidget
{
    Q_OBJECT

public:
    enum class Symbol
    {
        ExclamationCircle, // "something is missing"
        XmarkCircle,       // "something failed"
    };

    // `pointSize` is the symbol's font size: the symbol is drawn in a square of about that size.
    SymbolView(Symbol symbol, qreal pointSize, const QColor &colour, QWidget *parent = nullptr);

    Symbol symbol() const { return m_symbol; }
    // True when the icon theme supplied the picture, false when it is drawn.
    bool fromTheme() const { return !m_themed.isNull(); }

    // Draws `symbol` in thin lines into `square`.
    static void paintSymbol(QPainter &painter, Symbol symbol, const QRectF &square,
                            const QColor &colour);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Symbol m_symbol;
    qreal m_size;
    QColor m_colour;
    QIcon m_themed;
};

} // namespace Wizard

#pragma once

#include <QColor>
#include <QWidget>

namespace Wizard {

// One of the small symbols the status screens show, drawn in thin lines of a single colour. Not
// taken from the desktop's icon theme: themes draw these as a filled disc with the mark cut out
// or painted white, and a single colour would fill the mark in.
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
};

} // namespace Wizard

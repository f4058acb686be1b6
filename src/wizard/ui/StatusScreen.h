#pragma once

#include <QList>
#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace Wizard {

// The skeleton of the wizard's one-message screens (welcome, Node.js missing, progress,
// completion, failure): a column of a figure, a title, a paragraph and the buttons, in one of
// two looks. Each screen fills it in from its constructor, in that order.
class StatusScreen : public QWidget
{
    Q_OBJECT

public:
    enum class Look
    {
        // White on the brand red: a small heading at the top, the rest at the bottom on the left.
        Red,
        // The desktop's own message look on the window's backdrop, centred in the middle.
        System
    };

    // Sets the screen's one line that changes while it is shown: the progress screen's status
    // or the failure screen's error. The other screens have none and ignore it.
    void setMessage(const QString &text);

protected:
    StatusScreen(Look look, const QString &name, QWidget *parent);

    // Red: the small capitals line at the top.
    QLabel *addHeading(const QString &text);
    // System: the symbol or spinner above the title.
    void addFigure(QWidget *figure);
    QLabel *addTitle(const QString &text);
    // Red: at most `maximumWidth` wide, on the left.
    QLabel *addParagraph(const QString &text, int maximumWidth = QWIDGETSIZE_MAX);
    // Red: the one button on the left; System: the buttons side by side, centred. The first
    // one takes the keyboard when the screen is shown.
    void addButtons(const QList<QWidget *> &buttons);
    // The column the parts go into, for anything a screen adds of its own.
    QVBoxLayout *content() const { return m_content; }
    // Makes `label` the line setMessage() sets.
    void setMessageLabel(QLabel *label) { m_message = label; }

    void paintEvent(QPaintEvent *event) override;

private:
    Look m_look;
    QVBoxLayout *m_column = nullptr;
    QVBoxLayout *m_content = nullptr;
    QLabel *m_message = nullptr;
};

} // namespace Wizard

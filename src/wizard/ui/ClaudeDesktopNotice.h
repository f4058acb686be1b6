#pragma once

#include <QList>
#include <QWidget>

namespace Design {
class FlatButton;
}
class QFrame;

namespace Wizard {

// Says, before Claude Desktop is first started through the gateway, that it stays routed
// afterwards and how to undo that. Covers the whole screen with a dark layer that swallows
// clicks, so nothing beneath can be used until one of its buttons (or Escape) answers.
class ClaudeDesktopNotice : public QWidget
{
    Q_OBJECT

public:
    explicit ClaudeDesktopNotice(QWidget *parent = nullptr);

    // Shows the notice over the whole parent and gives its first button the keyboard.
    void present();
    // Covers the parent again after it changed size, with the card in the middle.
    void place();

Q_SIGNALS:
    void openAnywayClicked();
    void cancelClicked();
    void dontShowAgainClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    // Tab and Backtab go round the notice's own buttons only.
    bool focusNextPrevChild(bool next) override;

private:
    QFrame *m_card = nullptr;
    QList<Design::FlatButton *> m_buttons;
};

} // namespace Wizard

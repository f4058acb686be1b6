#pragma once

#include <QWidget>

namespace Design {
class FlatButton;
}

namespace Wizard {

// First screen of a first run: the red welcome with its "Get started" button.
class WelcomeScreen : public QWidget
{
    Q_OBJECT

public:
    explicit WelcomeScreen(QWidget *parent = nullptr);

Q_SIGNALS:
    // "Get started" was clicked (or Return pressed).
    void getStartedClicked();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Design::FlatButton *m_getStarted = nullptr;
};

} // namespace Wizard

#pragma once

#include <QWidget>

#include <functional>

namespace Design {
class FlatButton;
}

namespace Wizard {

// First screen of a first run: the red welcome with its "Get started" button.
class WelcomeScreen : public QWidget
{
    Q_OBJECT

public:
    explicit WelcomeScreen(std::function<void()> onManage, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::function<void()> m_onManage;
    Design::FlatButton *m_getStarted = nullptr;
};

} // namespace Wizard

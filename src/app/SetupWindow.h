#pragma once

#include <QWidget>

namespace Design {
class VisualEffect;
}
namespace Wizard {
class RootView;
class WizardController;
struct LauncherServices;
} // namespace Wizard

namespace App {

// The one setup window: "Orvane", content fixed at 720 by 560, the wizard over the backdrop.
class SetupWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int contentWidth = 720;
    static constexpr int contentHeight = 560;

    // Shows `wizard`, which must outlive the window; the launcher screen reaches `services`.
    SetupWindow(bool translucent, Wizard::WizardController &wizard,
                const Wizard::LauncherServices &services, QWidget *parent = nullptr);

    // Shows the window, raises it above the others and gives it the keyboard.
    void bringToFront();

Q_SIGNALS:
    // Ctrl+Q, or the launcher's "Quit".
    void quitRequested();
    // The user closed the window; the program runs on.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    Design::VisualEffect *m_backdrop = nullptr;
    Wizard::RootView *m_root = nullptr;
};

} // namespace App

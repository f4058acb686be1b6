#pragma once

#include "manifest/Resolved.h"

#include <QWidget>

#include <memory>

class QSettings;

namespace Design {
class VisualEffect;
}
namespace Setup {
class SetupEngine;
}
namespace Wizard {
class RootView;
class WizardController;
}

namespace App {

// The one setup window: "Orvane", content fixed at 720 by 560, the wizard over the backdrop.
class SetupWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int contentWidth = 720;
    static constexpr int contentHeight = 560;

    // `resolved` is the manifest the wizard asks its questions from. The wizard works through
    // the system's setup engine and starts its check when the window is first shown.
    SetupWindow(bool translucent, Manifest::Resolved resolved, QWidget *parent = nullptr);
    ~SetupWindow() override;

    // Shows the window, raises it above the others and gives it the keyboard.
    void bringToFront();

Q_SIGNALS:
    void quitRequested();

private:
    std::unique_ptr<Setup::SetupEngine> m_engine;
    std::unique_ptr<Wizard::WizardController> m_controller;
    QSettings *m_settings = nullptr;
    Design::VisualEffect *m_backdrop = nullptr;
    Wizard::RootView *m_root = nullptr;
};

} // namespace App

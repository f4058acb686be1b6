#pragma once

#include "manifest/Resolved.h"

#include <QWidget>

namespace Design {
class VisualEffect;
}
namespace Wizard {
class RootView;
}

namespace App {

// The one setup window: "Orvane", content fixed at 720 by 560, the wizard over the backdrop.
class SetupWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int contentWidth = 720;
    static constexpr int contentHeight = 560;

    // `resolved` is the manifest the wizard asks its questions from.
    SetupWindow(bool translucent, Manifest::Resolved resolved, QWidget *parent = nullptr);

    // Shows the window, raises it above the others and gives it the keyboard.
    void bringToFront();

Q_SIGNALS:
    void quitRequested();

private:
    Design::VisualEffect *m_backdrop = nullptr;
    Wizard::RootView *m_root = nullptr;
};

} // namespace App

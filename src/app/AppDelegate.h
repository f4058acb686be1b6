#pragma once

#include <QObject>

#include <functional>
#include <memory>

namespace Overlay {
class OverlayController;
}

namespace App {

// Owns the usage overlay for the life of the process and runs the steps that follow launch.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    // The overlay is created with the delegate, before launching has finished; it may be null
    // where no overlay is built.
    explicit AppDelegate(std::unique_ptr<Overlay::OverlayController> overlayController,
                         QObject *parent = nullptr);
    ~AppDelegate() override;

    // Registers the fonts, brings the setup window to the front (through `activate`) and
    // starts the overlay. Runs once; later calls do nothing.
    void applicationDidFinishLaunching(const std::function<void()> &activate);

    // Closing the setup window leaves the process running so the overlay keeps working.
    static constexpr bool applicationShouldTerminateAfterLastWindowClosed() { return false; }

    int registeredFontCount() const { return m_registeredFonts; }

private:
    std::unique_ptr<Overlay::OverlayController> m_overlayController;
    bool m_launched = false;
    int m_registeredFonts = 0;
};

} // namespace App

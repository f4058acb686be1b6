#include "app/AppDelegate.h"

#include "app/FontRegistration.h"
#include "overlay/OverlayController.h"

namespace App {

AppDelegate::AppDelegate(std::unique_ptr<Overlay::OverlayController> overlayController, QObject *parent)
    : QObject(parent)
    , m_overlayController(std::move(overlayController))
{}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching(const std::function<void()> &activate)
{
    if (m_launched)
        return;
    m_launched = true;
    m_registeredFonts = FontRegistration::registerFonts();
    if (activate)
        activate();
    if (m_overlayController)
        m_overlayController->start();
}

} // namespace App

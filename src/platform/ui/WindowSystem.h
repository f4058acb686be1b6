#pragma once

namespace Platform {

// What the running window system offers the application's windows.
namespace WindowSystem {

// True where translucent top-level windows show the desktop through them: on Wayland, and on
// X11 while a compositing manager runs. Elsewhere (no compositor, offscreen) translucent
// pixels would come out black, so windows stay opaque.
bool supportsTranslucency();

} // namespace WindowSystem

} // namespace Platform

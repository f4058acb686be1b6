#pragma once

// What the application delegate needs of the usage overlay: one start after launch. The
// delegate owns the controller for the life of the process.
namespace Overlay {

class OverlayController
{
public:
    virtual ~OverlayController() = default;
    virtual void start() = 0;
};

} // namespace Overlay

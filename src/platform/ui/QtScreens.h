#pragma once

#include "platform/Screens.h"

namespace Platform {

// The screens Qt knows.
class QtScreens final : public Screens
{
public:
    std::optional<QRect> availableGeometry(std::optional<QPoint> nativePoint) const override;
};

} // namespace Platform

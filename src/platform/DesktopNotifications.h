#pragma once

#include <QString>

namespace Platform {

// Desktop notifications: a short summary and one line of body text, shown by the desktop's
// notification service when there is one and dropped without a word when there is none.
class DesktopNotifications
{
public:
    virtual ~DesktopNotifications() = default;
    virtual void show(const QString &summary, const QString &body) = 0;
};

} // namespace Platform

#pragma once

#include <QString>

namespace Platform {

// Passing messages in the desktop's notification bubbles, behind an interface so that what is
// said, and when, can be tested without a desktop.
class Notifier
{
public:
    virtual ~Notifier() = default;
    // Shows `summary` and `body` once, where the desktop can; a desktop that cannot is not an
    // error the caller hears of.
    virtual void notify(const QString &summary, const QString &body) = 0;
};

} // namespace Platform

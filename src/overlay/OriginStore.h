#pragma once

#include <QPoint>

#include <optional>

namespace Overlay {

// Where the user last left the pill: its box's top-left corner, kept across restarts.
class OriginStore
{
public:
    virtual ~OriginStore() = default;

    // The stored corner, or none when nothing usable is stored.
    virtual std::optional<QPoint> load() const = 0;
    virtual void save(QPoint origin) = 0;
};

} // namespace Overlay

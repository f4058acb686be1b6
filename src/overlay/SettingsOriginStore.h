#pragma once

#include "overlay/OriginStore.h"

class QSettings;

namespace Overlay {

// The pill's origin in the application's settings, under "overlay.origin" as a map with the
// numbers "x" and "y".
class SettingsOriginStore final : public OriginStore
{
public:
    static constexpr const char *key = "overlay.origin";

    // The settings must outlive the store.
    explicit SettingsOriginStore(QSettings &settings);

    std::optional<QPoint> load() const override;
    void save(QPoint origin) override;

private:
    QSettings &m_settings;
};

} // namespace Overlay

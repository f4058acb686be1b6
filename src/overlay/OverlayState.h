#pragma once

#include "overlay/OverlaySnapshot.h"
#include "platform/Clock.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>

namespace Overlay {

// The counters come from the usage reader.
using Usage::TokenUsage;

// What the pill shows, written by the overlay controller alone (its own fields, the gateway's
// answers, the count-up) and read by the pill. Every write emits changed() once, even when no
// value differs, so that an observer sees every write; notifyChanged() emits it without a write
// (the once-a-second countdown redraw). Main thread only.
class OverlayState : public QObject
{
    Q_OBJECT

public:
    // The clock feeds warmth(); it must outlive the state.
    explicit OverlayState(const Platform::Clock &clock = Platform::SystemClock::instance(),
                          QObject *parent = nullptr);

    const OverlaySnapshot &snapshot() const { return m_snapshot; }

    // Runs `edit` on the snapshot (any number of fields at once), then emits changed().
    template <typename Edit> void update(Edit &&edit)
    {
        std::forward<Edit>(edit)(m_snapshot);
        Q_EMIT changed();
    }

    // The explicit change notification: changed() with no field written.
    void notifyChanged();

    // The cache countdown at this moment of the state's clock.
    QString warmth() const;

    // The header's second line, built from the current fields and warmth().
    QString statusLine() const;

    // The counters the expanded pill shows: displayedUsage while counting up, else usage.
    const std::optional<Usage::TokenUsage> &shownUsage() const;

    // A quota window's row value at this moment of the state's clock (see quotaValueText).
    QString quotaValue(const Usage::QuotaWindow &window) const;

    // A token count for display (see formatCount).
    static QString format(std::int64_t count);

Q_SIGNALS:
    // After every write and on notifyChanged().
    void changed();

private:
    const Platform::Clock *m_clock;
    OverlaySnapshot m_snapshot;
};

} // namespace Overlay

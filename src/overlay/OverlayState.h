#pragma once

#include "platform/Clock.h"
#include "usage/TokenUsage.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

namespace Overlay {

// The counters come from the usage reader.
using Usage::TokenUsage;

// What the pill shows, written by the overlay controller, the gateway status client and the
// count-up animation, read by the pill. Every setter emits its field's signal and then changed(),
// even when the value is the same, so that an observer of changed() alone sees every write;
// notifyChanged() emits changed() without a write (the once-a-second countdown redraw).
// Main thread only.
class OverlayState : public QObject
{
    Q_OBJECT

public:
    // The clock feeds warmth(); it must outlive the state.
    explicit OverlayState(const Platform::Clock &clock = Platform::SystemClock::instance(),
                          QObject *parent = nullptr);

    const QString &model() const { return m_model; }
    const QString &harnessLabel() const { return m_harnessLabel; }
    const QString &harness() const { return m_harness; }
    const QString &surface() const { return m_surface; }
    const QString &detail() const { return m_detail; }
    bool connected() const { return m_connected; }
    std::optional<double> cacheExpiresAt() const { return m_cacheExpiresAt; }
    std::optional<double> savingsPct() const { return m_savingsPct; }
    std::int64_t asksOpen() const { return m_asksOpen; }
    std::int64_t answersFresh() const { return m_answersFresh; }
    const std::optional<Usage::TokenUsage> &usage() const { return m_usage; }
    const std::optional<Usage::TokenUsage> &displayedUsage() const { return m_displayedUsage; }
    bool expanded() const { return m_expanded; }

    void setModel(const QString &model);
    void setHarnessLabel(const QString &harnessLabel);
    void setHarness(const QString &harness);
    void setSurface(const QString &surface);
    void setDetail(const QString &detail);
    void setConnected(bool connected);
    void setCacheExpiresAt(std::optional<double> cacheExpiresAt);
    void setSavingsPct(std::optional<double> savingsPct);
    void setAsksOpen(std::int64_t asksOpen);
    void setAnswersFresh(std::int64_t answersFresh);
    void setUsage(const std::optional<Usage::TokenUsage> &usage);
    void setDisplayedUsage(const std::optional<Usage::TokenUsage> &displayedUsage);
    void setExpanded(bool expanded);

    // The explicit change notification: changed() with no field written.
    void notifyChanged();

    // The cache countdown at this moment of the state's clock.
    QString warmth() const;

    // The header's second line, built from the current fields and warmth().
    QString statusLine() const;

    // The counters the expanded pill shows: displayedUsage while counting up, else usage.
    const std::optional<Usage::TokenUsage> &shownUsage() const;

    // A token count for display (see formatCount).
    static QString format(std::int64_t count);

Q_SIGNALS:
    void modelChanged();
    void harnessLabelChanged();
    void harnessChanged();
    void surfaceChanged();
    void detailChanged();
    void connectedChanged();
    void cacheExpiresAtChanged();
    void savingsPctChanged();
    void asksOpenChanged();
    void answersFreshChanged();
    void usageChanged();
    void displayedUsageChanged();
    void expandedChanged();
    // After every field write and on notifyChanged().
    void changed();

private:
    template <typename T> void write(T &field, const T &value, void (OverlayState::*fieldSignal)());

    const Platform::Clock *m_clock;
    QString m_model = QStringLiteral("Orvane");
    QString m_harnessLabel = QStringLiteral("Claude");
    QString m_harness = QStringLiteral("claude-code");
    QString m_surface = QStringLiteral("claude-desktop");
    QString m_detail = QStringLiteral("Connecting to gateway\u2026");
    bool m_connected = false;
    std::optional<double> m_cacheExpiresAt;
    std::optional<double> m_savingsPct;
    std::int64_t m_asksOpen = 0;
    std::int64_t m_answersFresh = 0;
    std::optional<Usage::TokenUsage> m_usage;
    std::optional<Usage::TokenUsage> m_displayedUsage;
    bool m_expanded = false;
};

} // namespace Overlay

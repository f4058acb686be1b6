#pragma once

#include "gateway/GatewayConfig.h"
#include "platform/HomeDirectory.h"
#include "platform/Timers.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace Overlay {

class OverlayState;

// Fetches the gateway's status line for the state's harness and surface and writes the outcome
// into the state: "Gateway not configured", "Gateway unavailable", or the gateway's model,
// detail, cache expiry, savings and counters. At most one request is in flight; a refresh asked
// for meanwhile is ignored. Redirects are not followed (the key must not travel to another host),
// the whole request has a deadline, and an oversized body is cut off. Main thread only; a request
// outstanding when the client is destroyed is abandoned without touching the state.
class GatewayStatusClient : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds deadline{4000};
    static constexpr qint64 maximumBodySize = 1024 * 1024;

    // The state and the timers must outlive the client. homeDirectory locates the configuration
    // file; the timers measure the deadline.
    explicit GatewayStatusClient(OverlayState &state,
                                 QString homeDirectory = Platform::homeDirectory(),
                                 Platform::Timers &timers = Platform::QtTimers::instance(),
                                 QObject *parent = nullptr);
    ~GatewayStatusClient() override;

    // Asked when a usable answer has arrived; answering true discards it and leaves the state as
    // it is (the controller: a new conversation is still waiting for its first turn).
    void setDiscardCheck(std::function<bool()> discard);

    // The configuration file, read afresh on every call.
    std::optional<GatewayConfig> readConfig() const;

    // Starts one status request, unless one is in flight already.
    void refresh();

    bool isFetching() const { return m_reply != nullptr; }

Q_SIGNALS:
    // A request's outcome has been applied to the state (or discarded). Also sent when a refresh
    // ends without a request because the configuration is missing or the URL cannot be fetched.
    void finished();

private:
    void onReadyRead();
    void onFinished();
    void abortRequest();
    void showUnavailable();

    OverlayState &m_state;
    QString m_home;
    std::function<bool()> m_discard;
    QNetworkAccessManager m_network;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_body;
    bool m_cutOff = false;
    Platform::Timers &m_timers;
    std::unique_ptr<Platform::TimerHandle> m_deadline;
};

} // namespace Overlay

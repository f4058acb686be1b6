#pragma once

#include "gateway/GatewayConfig.h"
#include "gateway/GatewayStatus.h"
#include "platform/HomeDirectory.h"
#include "platform/Timers.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

namespace Gateway {

class HttpExchange;

// Fetches the gateway's status line for one harness and surface and hands back what came of it:
// the decoded status, or why there is none. At most one request is in flight; a refresh asked for
// meanwhile is ignored. Redirects are not followed (the key must not travel to another host), the
// whole request has a deadline (its connection is shut when it passes), and oversized headers or
// body are cut off. Each new kind of failure is logged once, until an answer arrives. Main thread
// only; a request outstanding when the client is destroyed is abandoned without a result.
class GatewayStatusClient : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds deadline{4000};
    static constexpr qint64 maximumBodySize = 1024 * 1024;

    // The timers must outlive the client. homeDirectory locates the configuration file; the
    // timers measure the deadline.
    explicit GatewayStatusClient(QString homeDirectory = Platform::homeDirectory(),
                                 Platform::Timers &timers = Platform::QtTimers::instance(),
                                 QObject *parent = nullptr);
    ~GatewayStatusClient() override;

    // The configuration file, read afresh on every call.
    std::expected<GatewayConfig, ConfigProblem> readConfig() const;

    // Starts one status request, unless one is in flight already.
    void refresh(const QString &harness, const QString &surface);

    bool isFetching() const { return m_exchange != nullptr; }

Q_SIGNALS:
    // A refresh's outcome, also when it ended without a request (sent from inside refresh()).
    void finished(const Gateway::StatusResult &result);

private:
    void onFinished();
    void finish(const StatusResult &result, const QString &problem = {}, bool failure = true);

    QString m_home;
    std::unique_ptr<HttpExchange> m_exchange;
    QString m_target; // the request's URL for the log: no user name, password or query
    Platform::Timers &m_timers;
    std::unique_ptr<Platform::TimerHandle> m_deadline;
    // The last failure logged; empty after an answer.
    QString m_lastProblem;
    bool m_answered = false;
};

} // namespace Gateway

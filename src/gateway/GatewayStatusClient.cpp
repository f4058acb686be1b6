#include "gateway/GatewayStatusClient.h"

#include "gateway/Log.h"

#include "gateway/HttpExchange.h"

namespace Gateway {

namespace {

QString configProblemText(ConfigProblem problem, const QString &path)
{
    switch (problem) {
    case ConfigProblem::Missing:
        return QStringLiteral("no configuration at %1").arg(path);
    case ConfigProblem::Unreadable:
        return QStringLiteral("configuration %1 cannot be read").arg(path);
    case ConfigProblem::NotAnObject:
        return QStringLiteral("configuration %1 is not a JSON object").arg(path);
    case ConfigProblem::Incomplete:
        break;
    }
    return QStringLiteral("configuration %1 lacks a \"gateway_base_url\" or \"api_key\" string")
        .arg(path);
}

QString decodeErrorText(GatewayStatusError error)
{
    switch (error) {
    case GatewayStatusError::NotJson:
        return QStringLiteral("is not JSON");
    case GatewayStatusError::NotObject:
        return QStringLiteral("is not a JSON object");
    case GatewayStatusError::WrongType:
        break;
    }
    return QStringLiteral("has a known key holding another type");
}

} // namespace

GatewayStatusClient::GatewayStatusClient(QString homeDirectory, Platform::Timers &timers,
                                         QObject *parent)
    : QObject(parent)
    , m_home(std::move(homeDirectory))
    , m_timers(timers)
{}

// An exchange outstanding is abandoned with the client: its socket closes, no result.
GatewayStatusClient::~GatewayStatusClient() = default;

std::expected<GatewayConfig, ConfigProblem> GatewayStatusClient::readConfig() const
{
    return readGatewayConfig(m_home);
}

void GatewayStatusClient::refresh(const QString &harness, const QString &surface)
{
    if (m_exchange)
        return;
    const std::expected<GatewayConfig, ConfigProblem> config = readConfig();
    if (!config) {
        // The router not set up yet is a state, not a failure.
        finish(std::unexpected(StatusFailure::NotConfigured),
               configProblemText(config.error(), gatewayConfigPath(m_home)),
               config.error() != ConfigProblem::Missing);
        return;
    }
    const std::optional<QUrl> url = statusLineUrl(config->baseUrl, harness, surface);
    if (!url) {
        // The URL is not written out: it may hold a user name and password.
        finish(std::unexpected(StatusFailure::NoUrl),
               QStringLiteral("the gateway_base_url of %1 is not a URL")
                   .arg(gatewayConfigPath(m_home)));
        return;
    }
    // Only HTTP goes out. A key with line breaks would split the request's headers.
    m_target = url->toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery);
    const QString scheme = url->scheme();
    if ((scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url->host().isEmpty()) {
        finish(std::unexpected(StatusFailure::Unavailable),
               QStringLiteral("%1 is not an HTTP URL with a host").arg(m_target));
        return;
    }
    if (config->apiKey.contains(QLatin1Char('\r')) || config->apiKey.contains(QLatin1Char('\n'))) {
        finish(std::unexpected(StatusFailure::Unavailable),
               QStringLiteral("the api_key of %1 holds a line break").arg(gatewayConfigPath(m_home)));
        return;
    }

    // Read on this thread with its head and body bounded: a peer streaming headers or an
    // endless body costs a buffer's worth of memory, and at the deadline the connection is shut.
    m_exchange = std::make_unique<HttpExchange>(
        *url, HttpExchange::Headers{{"x-api-key", config->apiKey.toUtf8()}}, maximumBodySize);
    connect(m_exchange.get(), &HttpExchange::finished, this, &GatewayStatusClient::onFinished);
    // A deadline for the whole exchange, not an idle time-out: a gateway that keeps sending a
    // byte now and then must not hold the request open. The previous handle is replaced here
    // rather than when its request ends, since that may happen inside its own timeout.
    m_deadline = m_timers.singleShot(deadline, [this] {
        if (!m_exchange)
            return;
        m_exchange->abort();
        m_exchange.reset();
        finish(std::unexpected(StatusFailure::Unavailable),
               m_target + QStringLiteral(" gave no whole answer within %1 ms").arg(deadline.count()));
    });
    m_exchange->start();
}

void GatewayStatusClient::onFinished()
{
    if (m_deadline)
        m_deadline->stop();
    // Deleted later: this runs inside the exchange's own signal.
    HttpExchange &done = *m_exchange.release();
    done.deleteLater();

    const auto unavailable = [this](const QString &why) {
        finish(std::unexpected(StatusFailure::Unavailable), m_target + QLatin1Char(' ') + why);
    };
    if (done.status() == 0)
        return unavailable(done.problem());
    // An HTTP error status is a network error too; the status says more.
    if (done.status() < 200 || done.status() > 299)
        return unavailable(QStringLiteral("answered HTTP %1").arg(done.status()));
    const auto decoded = decodeGatewayStatus(done.body());
    if (!decoded)
        return unavailable(QStringLiteral("sent an answer that ") + decodeErrorText(decoded.error()));
    finish(*decoded);
}

void GatewayStatusClient::finish(const StatusResult &result, const QString &problem, bool failure)
{
    if (result) {
        if (!m_answered)
            qCDebug(lcGateway, "Gateway %s answers", qUtf8Printable(m_target));
        m_answered = true;
        m_lastProblem.clear();
    } else if (problem != m_lastProblem) {
        // Logged once, not at every poll while it lasts.
        const char *what = result.error() == StatusFailure::NotConfigured ? "Gateway not configured"
                                                                          : "Gateway unavailable";
        if (failure)
            qCWarning(lcGateway, "%s: %s", what, qUtf8Printable(problem));
        else
            qCDebug(lcGateway, "%s: %s", what, qUtf8Printable(problem));
        m_answered = false;
        m_lastProblem = problem;
    }
    Q_EMIT finished(result);
}

} // namespace Gateway

#include "gateway/GatewayStatusClient.h"

#include "gateway/GatewayStatus.h"
#include "overlay/OverlayState.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace Overlay {

GatewayStatusClient::GatewayStatusClient(OverlayState &state, QString homeDirectory,
                                         Platform::Timers &timers, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_home(std::move(homeDirectory))
    , m_timers(timers)
{}

GatewayStatusClient::~GatewayStatusClient()
{
    // A plain pointer checked once: the optimiser cannot prove a QPointer stays non-null.
    if (QNetworkReply *reply = m_reply.data()) {
        // The manager aborts its replies as it goes; their completion must not reach this half
        // destroyed object.
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        delete reply;
    }
}

void GatewayStatusClient::setDiscardCheck(std::function<bool()> discard)
{
    m_discard = std::move(discard);
}

std::optional<GatewayConfig> GatewayStatusClient::readConfig() const
{
    return readGatewayConfig(m_home);
}

void GatewayStatusClient::refresh()
{
    if (m_reply)
        return;
    const std::optional<GatewayConfig> config = readConfig();
    if (!config) {
        m_state.setConnected(false);
        m_state.setDetail(QStringLiteral("Gateway not configured"));
        Q_EMIT finished();
        return;
    }
    const std::optional<QUrl> url =
        statusLineUrl(config->baseUrl, m_state.harness(), m_state.surface());
    if (!url)
        return;
    // Only HTTP goes out: the network manager would also read local files and data URLs. A key
    // with line breaks would split the request's headers.
    const QString scheme = url->scheme();
    const bool fetchable = (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
                           !url->host().isEmpty() && !config->apiKey.contains(QLatin1Char('\r')) &&
                           !config->apiKey.contains(QLatin1Char('\n'));
    if (!fetchable) {
        showUnavailable();
        Q_EMIT finished();
        return;
    }

    QNetworkRequest request(*url);
    request.setRawHeader("x-api-key", config->apiKey.toUtf8());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    m_body.clear();
    m_cutOff = false;
    m_reply = m_network.get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &GatewayStatusClient::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &GatewayStatusClient::onFinished);
    // A deadline for the whole exchange, not an idle time-out: a gateway that keeps sending a
    // byte now and then must not hold the request open. The previous handle is replaced here
    // rather than when its request ends, since that may happen inside its own timeout.
    m_deadline = m_timers.singleShot(deadline, [this] { abortRequest(); });
}

void GatewayStatusClient::onReadyRead()
{
    if (!m_reply || m_cutOff)
        return;
    m_body += m_reply->readAll();
    if (m_body.size() > maximumBodySize) {
        m_cutOff = true;
        m_body.clear();
        abortRequest();
    }
}

void GatewayStatusClient::abortRequest()
{
    // abort() completes the reply, which runs onFinished.
    if (QNetworkReply *reply = m_reply.data())
        reply->abort();
}

void GatewayStatusClient::onFinished()
{
    QNetworkReply *reply = m_reply;
    if (!reply)
        return;
    m_reply = nullptr;
    if (m_deadline)
        m_deadline->stop();
    reply->deleteLater();
    disconnect(reply, nullptr, this, nullptr);

    const bool complete = !m_cutOff && reply->error() == QNetworkReply::NoError;
    if (complete)
        m_body += reply->readAll();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int code = status.isValid() ? status.toInt() : 0;
    std::optional<GatewayStatus> decoded;
    if (complete && code >= 200 && code <= 299 && m_body.size() <= maximumBodySize) {
        if (auto result = decodeGatewayStatus(m_body))
            decoded = *result;
    }
    m_body.clear();

    if (!decoded) {
        showUnavailable();
        Q_EMIT finished();
        return;
    }
    if (m_discard && m_discard()) {
        Q_EMIT finished();
        return;
    }
    m_state.setConnected(true);
    m_state.setModel(
        decoded->modelDisplayName.value_or(decoded->model.value_or(QStringLiteral("Orvane"))));
    if (decoded->authMode)
        m_state.setDetail(QStringLiteral("orv (") + *decoded->authMode + QLatin1Char(')'));
    else
        m_state.setDetail(decoded->label.value_or(QStringLiteral("Connected")));
    m_state.setCacheExpiresAt(decoded->cacheExpiresAt);
    m_state.setSavingsPct(decoded->savingsPct);
    m_state.setAsksOpen(decoded->asksOpen.value_or(0));
    m_state.setAnswersFresh(decoded->answersFresh.value_or(0));
    m_state.notifyChanged();
    Q_EMIT finished();
}

void GatewayStatusClient::showUnavailable()
{
    m_state.setConnected(false);
    m_state.setDetail(QStringLiteral("Gateway unavailable"));
}

} // namespace Overlay

#include "gateway/HttpExchange.h"

#include <QSslSocket>
#include <QTcpSocket>

namespace Gateway {

namespace {

// Chunk-size lines are short; a longer one is not HTTP.
constexpr qsizetype maximumChunkLine = 1024;

} // namespace

HttpExchange::HttpExchange(QUrl url, Headers headers, qint64 maximumBodySize, QObject *parent)
    : QObject(parent)
    , m_url(std::move(url))
    , m_headers(std::move(headers))
    , m_maximumBodySize(maximumBodySize)
{}

HttpExchange::~HttpExchange()
{
    abort();
}

void HttpExchange::start()
{
    const bool secure = m_url.scheme() == QLatin1String("https");
    if (secure && !QSslSocket::supportsSsl())
        return fail(QStringLiteral("failed: no TLS support"));
    m_socket = secure ? new QSslSocket(this) : new QTcpSocket(this);
    // Qt reads no more from the system than this ahead of us; the rest waits in the kernel, whose
    // window then slows the peer down.
    m_socket->setReadBufferSize(readBufferSize);
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpExchange::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &HttpExchange::onDisconnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // The peer closing is handled with what it sent; everything else ends the exchange.
        if (error != QAbstractSocket::RemoteHostClosedError)
            fail(QStringLiteral("failed: ") + m_socket->errorString());
    });
    const quint16 port = quint16(m_url.port(secure ? 443 : 80));
    if (auto *ssl = qobject_cast<QSslSocket *>(m_socket)) {
        // The request goes out once the handshake is through.
        connect(ssl, &QSslSocket::encrypted, this, &HttpExchange::sendRequest);
        ssl->connectToHostEncrypted(m_url.host(), port);
    } else {
        connect(m_socket, &QTcpSocket::connected, this, &HttpExchange::sendRequest);
        m_socket->connectToHost(m_url.host(), port);
    }
}

void HttpExchange::sendRequest()
{
    QByteArray request =
        "GET " + m_url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (m_url.path().isEmpty())
        request += '/';
    // "//host:port" without the user's name and password.
    request += " HTTP/1.1\r\nHost: " +
               m_url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveUserInfo | QUrl::RemovePath |
                               QUrl::RemoveQuery | QUrl::RemoveFragment)
                   .mid(2) +
               "\r\nConnection: close\r\nAccept: application/json\r\n";
    for (const auto &[name, value] : std::as_const(m_headers))
        request += name + ": " + value + "\r\n";
    m_socket->write(request + "\r\n");
}

void HttpExchange::abort()
{
    m_done = true;
    if (m_socket) {
        disconnect(m_socket, nullptr, this, nullptr);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
}

void HttpExchange::onReadyRead()
{
    while (!m_done && m_socket && m_socket->bytesAvailable() > 0) {
        if (!m_inBody) {
            if (!readHead())
                return;
            continue;
        }
        if (!readBody(m_socket->read(readBufferSize)))
            return;
    }
}

bool HttpExchange::readHead()
{
    // Only up to the head's end is taken; what follows is the body's.
    const QByteArray peeked = m_socket->peek(maximumHeadSize - m_head.size() + 1);
    const qsizetype end = QByteArray(m_head.right(3) + peeked).indexOf("\r\n\r\n");
    if (end < 0) {
        m_head += m_socket->read(peeked.size());
        if (m_head.size() > maximumHeadSize)
            fail(QStringLiteral("sent response headers over %1 bytes").arg(maximumHeadSize));
        return false;
    }
    const qsizetype take = end + 4 - std::min<qsizetype>(m_head.size(), 3);
    m_head += m_socket->read(take);

    const QList<QByteArray> lines = m_head.split('\n');
    const QList<QByteArray> statusLine = lines.value(0).trimmed().split(' ');
    bool numeric = false;
    const int status = statusLine.value(1).toInt(&numeric);
    if (!statusLine.value(0).startsWith("HTTP/1.") || !numeric || status < 100 || status > 999) {
        fail(QStringLiteral("gave no HTTP answer"));
        return false;
    }
    m_head.clear();
    if (status < 200) // an interim answer; the real one follows
        return true;
    m_status = status;
    m_inBody = true;
    for (const QByteArray &line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "transfer-encoding" && value.toLower().contains("chunked"))
            m_chunked = true;
        else if (name == "content-length" &&
                 ((m_contentLength = value.toLongLong(&numeric)) < 0 || !numeric)) {
            fail(QStringLiteral("gave no HTTP answer"));
            return false;
        }
    }
    if (m_chunked)
        m_contentLength = -1;
    if (m_contentLength > m_maximumBodySize) {
        fail(QStringLiteral("sent an answer over %1 bytes").arg(m_maximumBodySize));
        return false;
    }
    if (status == 204 || status == 304 || m_contentLength == 0) {
        complete();
        return false;
    }
    return true;
}

bool HttpExchange::readBody(QByteArray data)
{
    if (!m_chunked) {
        if (!appendBody(data))
            return false;
        if (m_contentLength >= 0 && m_body.size() >= m_contentLength) {
            m_body.truncate(m_contentLength);
            complete();
            return false;
        }
        return true;
    }
    m_chunkBuffer += data;
    while (!m_chunkBuffer.isEmpty()) {
        if (m_chunkLeft > 0) {
            const QByteArray piece = m_chunkBuffer.left(m_chunkLeft);
            m_chunkBuffer.remove(0, piece.size());
            m_chunkLeft -= piece.size();
            if (!appendBody(piece))
                return false;
            if (m_chunkLeft == 0)
                m_chunkLeft = -2; // the chunk's own line end follows
            continue;
        }
        const qsizetype lineEnd = m_chunkBuffer.indexOf("\r\n");
        if (lineEnd < 0) {
            if (m_chunkBuffer.size() > maximumChunkLine) {
                fail(QStringLiteral("sent a malformed chunked answer"));
                return false;
            }
            return true;
        }
        const QByteArray line = m_chunkBuffer.left(lineEnd);
        m_chunkBuffer.remove(0, lineEnd + 2);
        if (m_chunkLeft == -2) { // the empty line after a chunk's data
            m_chunkLeft = 0;
            continue;
        }
        bool numeric = false;
        const qint64 size = line.split(';').value(0).trimmed().toLongLong(&numeric, 16);
        if (!numeric || size < 0) {
            fail(QStringLiteral("sent a malformed chunked answer"));
            return false;
        }
        if (size == 0) { // the last chunk; trailers are not needed
            complete();
            return false;
        }
        m_chunkLeft = size;
    }
    return true;
}

bool HttpExchange::appendBody(const QByteArray &data)
{
    if (m_body.size() + data.size() > m_maximumBodySize) {
        fail(QStringLiteral("sent an answer over %1 bytes").arg(m_maximumBodySize));
        return false;
    }
    m_body += data;
    return true;
}

void HttpExchange::onDisconnected()
{
    if (m_done)
        return;
    onReadyRead();
    if (m_done)
        return;
    if (m_inBody && !m_chunked && m_contentLength < 0)
        return complete();
    fail(QStringLiteral("failed: the connection was closed mid-answer"));
}

void HttpExchange::fail(const QString &problem)
{
    if (m_done)
        return;
    m_status = 0;
    m_body.clear();
    m_problem = problem;
    abort();
    Q_EMIT finished();
}

void HttpExchange::complete()
{
    if (m_done)
        return;
    abort();
    Q_EMIT finished();
}

} // namespace Gateway

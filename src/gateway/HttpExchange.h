#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <utility>

class QTcpSocket;

namespace Gateway {

// One HTTP/1.1 GET on a connection of its own, read on this thread with every part bounded: the
// socket's read buffer, the head and the body. A peer can keep sending for as long as it likes;
// what it sends is read in steps of the buffer, and once a bound is passed or abort() is
// called the socket is closed and nothing more is read. Redirects are not followed.
class HttpExchange : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 maximumHeadSize = 64 * 1024;
    static constexpr qint64 readBufferSize = 64 * 1024;

    using Headers = QList<std::pair<QByteArray, QByteArray>>;

    // `url` is http or https with a host.
    HttpExchange(QUrl url, Headers headers, qint64 maximumBodySize, QObject *parent = nullptr);
    ~HttpExchange() override;

    void start();
    // Closes the connection at once; finished() is not emitted.
    void abort();

    // After finished(): the status (0 when the exchange failed), the body, and what went wrong.
    int status() const { return m_status; }
    const QByteArray &body() const { return m_body; }
    QString problem() const { return m_problem; }

Q_SIGNALS:
    void finished();

private:
    void sendRequest();
    void onReadyRead();
    void onDisconnected();
    bool readHead();
    bool readBody(QByteArray data);
    bool appendBody(const QByteArray &data);
    void fail(const QString &problem);
    void complete();

    QUrl m_url;
    Headers m_headers;
    qint64 m_maximumBodySize;
    QTcpSocket *m_socket = nullptr;
    bool m_done = false;

    QByteArray m_head;
    bool m_inBody = false;
    bool m_chunked = false;
    qint64 m_contentLength = -1; // -1: until the connection closes
    QByteArray m_chunkBuffer;    // chunked framing not yet consumed
    qint64 m_chunkLeft = 0;      // data bytes left in the current chunk

    int m_status = 0;
    QByteArray m_body;
    QString m_problem;
};

} // namespace Gateway

#pragma once

#include <QHash>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <functional>

// HTTP on 127.0.0.1 for tests, friendly or hostile. It records each request's head; then
// `answer`, when set, gets the socket and may write anything, slowly, forever, or nothing at
// all; else `routes`, when set, gives a fixed answer per request path (404 for the rest, none
// for a status of 0). With neither, requests are read and never answered.
struct HttpTestServer
{
    using Answer = std::function<void(QTcpSocket *)>;

    QTcpServer server;
    QList<QByteArray> requests; // request line and headers of each request
    Answer answer;
    QHash<QString, std::pair<int, QByteArray>> routes; // path -> HTTP status, body

    HttpTestServer()
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                // A closed connection's socket goes at once, not with the server.
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    const QByteArray head = socket->peek(socket->bytesAvailable());
                    if (!head.contains("\r\n\r\n"))
                        return;
                    socket->readAll();
                    requests << head.left(head.indexOf("\r\n\r\n"));
                    if (answer)
                        return answer(socket);
                    if (routes.isEmpty())
                        return;
                    const auto [status, body] =
                        routes.value(QString::fromUtf8(target(requests.size() - 1)), {404, {}});
                    if (status != 0)
                        reply(status, body)(socket);
                });
            }
        });
    }

    // Without a trailing slash: "http://127.0.0.1:<port>".
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()); }

    // The request target ("/v1/orv/statusline?...") and a header's value of request i.
    QByteArray target(qsizetype i) const { return requests.value(i).split(' ').value(1); }
    QByteArray header(qsizetype i, const QByteArray &name) const
    {
        for (const QByteArray &line : requests.value(i).split('\n'))
            if (line.toLower().startsWith(QByteArray(name.toLower() + ':')))
                return line.mid(name.size() + 1).trimmed();
        return {};
    }

    static Answer reply(int status, QByteArray body, QByteArray extraHeaders = {})
    {
        return [status, body, extraHeaders](QTcpSocket *socket) {
            socket->write("HTTP/1.1 " + QByteArray::number(status) + " X\r\n" + extraHeaders +
                          "Connection: close\r\nContent-Length: " +
                          QByteArray::number(body.size()) + "\r\n\r\n" + body);
            socket->disconnectFromHost();
        };
    }

    // An endless chunked body, 64 KiB every millisecond for as long as the peer listens.
    static Answer endlessChunks()
    {
        return [](QTcpSocket *socket) {
            socket->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
            const QByteArray piece = "10000\r\n" + QByteArray(65536, ' ') + "\r\n";
            auto *timer = new QTimer(socket);
            QObject::connect(timer, &QTimer::timeout, socket, [socket, piece] {
                // Keep at most a little in the outgoing buffer, like a real slow sender.
                if (socket->bytesToWrite() < 4 * piece.size())
                    socket->write(piece);
            });
            QObject::connect(socket, &QTcpSocket::disconnected, timer, &QTimer::stop);
            timer->start(1);
        };
    }

    // A status line, then 8 KiB header lines as fast as the peer reads, never ending the head.
    static Answer streamHeaders()
    {
        return [](QTcpSocket *socket) {
            const auto more = [socket] {
                while (socket->bytesToWrite() < 256 * 1024)
                    socket->write("X-Pad: " + QByteArray(8192 - 9, 'p') + "\r\n");
            };
            socket->write("HTTP/1.1 200 OK\r\n");
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, more);
            more();
        };
    }

    bool connectionOpen() const
    {
        return std::ranges::any_of(server.findChildren<QTcpSocket *>(), [](QTcpSocket *socket) {
            return socket->state() == QAbstractSocket::ConnectedState;
        });
    }
};

#pragma once

#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>

// HTTP/1.1 on 127.0.0.1 for tests: a fixed answer per request path, 404 for the rest; requests
// for a path whose status is 0 are read and never answered.
struct LoopbackHttpServer
{
    QHash<QString, std::pair<int, QByteArray>> routes; // path -> HTTP status (0: none), body
    QTcpServer server;

    LoopbackHttpServer()
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection())
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    const QByteArray request = socket->peek(socket->bytesAvailable());
                    if (!request.contains("\r\n\r\n"))
                        return;
                    socket->readAll();
                    const auto [status, body] =
                        routes.value(QString::fromUtf8(request.split(' ').value(1)), {404, {}});
                    if (status == 0)
                        return;
                    socket->write("HTTP/1.1 " + QByteArray::number(status) +
                                  " -\r\nConnection: close\r\nContent-Length: " +
                                  QByteArray::number(body.size()) + "\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
        });
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort()); }
};

#include "LoopbackHttpServer.h"

#include <QTcpSocket>

LoopbackHttpServer::LoopbackHttpServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::onNewConnection);
}

bool LoopbackHttpServer::listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QUrl LoopbackHttpServer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort()));
}

void LoopbackHttpServer::route(const QString &path, const Response &response)
{
    m_routes.insert(path, response);
}

void LoopbackHttpServer::setSilent(bool silent)
{
    m_silent = silent;
}

QStringList LoopbackHttpServer::requestedPaths() const
{
    return m_requested;
}

void LoopbackHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
    }
}

void LoopbackHttpServer::onReadyRead(QTcpSocket *socket)
{
    QByteArray &buffer = m_pending[socket];
    buffer += socket->readAll();
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
    buffer.clear();
    const QString target =
        requestLine.size() >= 2 ? QString::fromUtf8(requestLine.at(1)) : QString();
    const QString path = QUrl(target).path();
    m_requested.append(path);
    if (m_silent)
        return;

    const Response response =
        m_routes.value(path, Response{404, QByteArrayLiteral("{\"error\":\"Not found\"}")});
    QByteArray reply = "HTTP/1.1 " + QByteArray::number(response.status) +
                       (response.status == 200 ? " OK" : " Error") +
                       "\r\nContent-Type: " + response.contentType +
                       "\r\nContent-Length: " + QByteArray::number(response.body.size()) +
                       "\r\nConnection: close\r\n\r\n" + response.body;
    socket->write(reply);
    socket->disconnectFromHost();
}

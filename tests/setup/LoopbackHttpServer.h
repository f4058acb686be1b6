#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <QUrl>

class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1 for tests: fixed answers per path, 404 for the rest,
// or, when silent, connections that are accepted and never answered.
class LoopbackHttpServer : public QObject
{
    Q_OBJECT

public:
    struct Response
    {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
    };

    explicit LoopbackHttpServer(QObject *parent = nullptr);

    bool listen();
    QUrl baseUrl() const; // "http://127.0.0.1:<port>/"

    void route(const QString &path, const Response &response);
    void setSilent(bool silent);
    QStringList requestedPaths() const;

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);

    QTcpServer m_server;
    QHash<QString, Response> m_routes;
    QHash<QTcpSocket *, QByteArray> m_pending;
    QStringList m_requested;
    bool m_silent = false;
};

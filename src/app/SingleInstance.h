#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace App {

// One running program per user: the first start listens on a per-user local socket, and a
// later start hands its request to show the setup window to it and ends.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // The per-user socket: in $XDG_RUNTIME_DIR when that is set, else in the temporary folder
    // under a name carrying the user id.
    static QString defaultSocketPath();

    explicit SingleInstance(QString socketPath = defaultSocketPath(), QObject *parent = nullptr);

    // Asks a running instance to show its window. True when one answered.
    bool handOverToRunning(int timeoutMs = 1500);

    // Becomes the running instance; a stale socket left by a crashed process is replaced.
    bool listen();

    QString socketPath() const { return m_socketPath; }

Q_SIGNALS:
    void showRequested();

private:
    void serveConnection();

    QString m_socketPath;
    QLocalServer *m_server = nullptr;
};

} // namespace App

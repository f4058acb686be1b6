#pragma once

#include <QObject>
#include <QString>

#include <expected>

class QLocalServer;

namespace App {

// One running program per user. A per-user lock decides who serves, even when several copies
// start at once: the copy that holds it listens on a per-user local socket for its whole life
// and writes that socket's path into the lock file, and every other copy hands its request to
// show the setup window to that one and ends. The lock goes with the process, so a copy that
// was killed leaves only a stale socket, which the next one replaces.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // The folder of the lock: a folder of the user's own in the cache folder
    // (${XDG_CACHE_HOME:-~/.cache}/orvane, created 0700; refused when it belongs to someone
    // else or others may enter it), whether or not the session has a runtime folder, so that
    // copies started from different environments still meet. A message saying what is wrong
    // when there is none.
    static std::expected<QString, QString> lockDirectory();

    // The folder of the socket: $XDG_RUNTIME_DIR when it is a folder of the user's own with mode
    // 0700, else lockDirectory().
    static std::expected<QString, QString> runtimeDirectory();

    // "orvane.socket" in runtimeDirectory() and "orvane.lock" in lockDirectory(); empty when
    // there is no such folder.
    static QString defaultSocketPath();
    static QString defaultLockPath();

    enum class Role
    {
        Serving,    // this copy is the running program
        HandedOver, // a running copy took the request; this one should end
        Failed      // neither: errorString() says why; this one should end
    };

    explicit SingleInstance(QString socketPath = defaultSocketPath(),
                            QString lockPath = defaultLockPath(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // Serves, or hands over to the copy that does, waiting up to `handOverTimeoutMs` for a copy
    // that is still starting to answer.
    Role claim(int handOverTimeoutMs = 15000);
    QString errorString() const { return m_error; }

    // Asks the instance at socketPath() to show its window, once. True when it answered.
    bool handOverToRunning(int timeoutMs = 1500) { return handOver(m_socketPath, timeoutMs); }

    QString socketPath() const { return m_socketPath; }

Q_SIGNALS:
    void showRequested();

private:
    bool tryLock();
    bool listen();
    static bool handOver(const QString &socketPath, int timeoutMs);
    // Writes the socket's path into the lock file, for the copies that cannot take the lock.
    void publishSocket();
    // The socket the lock's holder listens at, as it wrote it; empty until it did.
    QString holderSocket() const;
    void serveConnection();

    QString m_socketPath;
    QString m_lockPath;
    int m_lockFd = -1;
    QString m_error;
    QLocalServer *m_server = nullptr;
};

} // namespace App

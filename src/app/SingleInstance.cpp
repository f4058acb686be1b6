#include "app/SingleInstance.h"

#include "app/Log.h"
#include "platform/HomeDirectory.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace App {

namespace {

const QByteArray showRequest = QByteArrayLiteral("show\n");
const QByteArray acknowledgement = QByteArrayLiteral("ok\n");

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Whether `name` is a folder (not a link to one) of this user's own that no one else may enter.
bool ownPrivateFolder(const QByteArray &name)
{
    struct stat status{};
    return ::lstat(name.constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == ::getuid() && (status.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

// The other end of a connection is a process of this user: another user's copy must not be
// handed our request, nor have it obeyed.
bool peerIsThisUser(const QLocalSocket &socket)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return ::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials,
                        &size) == 0 &&
           credentials.uid == ::getuid();
}

// The lock's folder: created owner-only, and used only while it is the user's own and
// closed to others, so nobody else can listen where this program looks for itself.
std::expected<QString, QString> privateDirectory(const QString &path)
{
    if (!QDir().mkpath(QFileInfo(path).path()))
        return std::unexpected(QStringLiteral("cannot create %1").arg(QFileInfo(path).path()));
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), S_IRWXU) != 0 && errno != EEXIST)
        return std::unexpected(QStringLiteral("cannot create %1: %2").arg(path, systemError(errno)));
    if (!ownPrivateFolder(name))
        return std::unexpected(
            QStringLiteral("%1 is not a folder of this user's own (mode 0700)").arg(path));
    return path;
}

} // namespace

std::expected<QString, QString> SingleInstance::lockDirectory()
{
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!QDir::isAbsolutePath(cache))
        cache = Platform::expandTilde(QStringLiteral("~/.cache"));
    return privateDirectory(QDir::cleanPath(cache) + QStringLiteral("/orvane"));
}

std::expected<QString, QString> SingleInstance::runtimeDirectory()
{
    // A runtime folder others may enter (a shared 1777 one) would let them take the socket's
    // place: it is used only as the session's own private folder.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) &&
        ownPrivateFolder(QFile::encodeName(QDir::cleanPath(runtime))))
        return QDir::cleanPath(runtime);
    if (!runtime.isEmpty())
        qCDebug(lcApp) << "XDG_RUNTIME_DIR" << runtime
                       << "is not a private folder of this user's; using the cache folder";
    return lockDirectory();
}

QString SingleInstance::defaultSocketPath()
{
    const auto directory = runtimeDirectory();
    return directory ? *directory + QStringLiteral("/orvane.socket") : QString();
}

QString SingleInstance::defaultLockPath()
{
    const auto directory = lockDirectory();
    return directory ? *directory + QStringLiteral("/orvane.lock") : QString();
}

SingleInstance::SingleInstance(QString socketPath, QString lockPath, QObject *parent)
    : QObject(parent)
    , m_socketPath(std::move(socketPath))
    , m_lockPath(std::move(lockPath))
{}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

bool SingleInstance::tryLock()
{
    if (m_lockFd < 0) {
        // Close-on-exec: a terminal or application started later must not keep the lock alive.
        m_lockFd = ::open(QFile::encodeName(m_lockPath).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
        if (m_lockFd < 0) {
            m_error = QStringLiteral("cannot open %1: %2").arg(m_lockPath, systemError(errno));
            return false;
        }
    }
    return ::flock(m_lockFd, LOCK_EX | LOCK_NB) == 0;
}

SingleInstance::Role SingleInstance::claim(int handOverTimeoutMs)
{
    if (m_socketPath.isEmpty() || m_lockPath.isEmpty()) {
        const auto directory = m_lockPath.isEmpty() ? lockDirectory() : runtimeDirectory();
        m_error = directory ? QStringLiteral("no socket or lock path") : directory.error();
        return Role::Failed;
    }
    const QDeadlineTimer deadline(handOverTimeoutMs);
    while (true) {
        if (tryLock()) {
            if (!listen())
                return Role::Failed;
            publishSocket();
            return Role::Serving;
        }
        if (m_lockFd < 0)
            return Role::Failed;
        // Another copy holds the lock: it serves, or is about to.
        const qint64 wait = std::clamp<qint64>(deadline.remainingTime(), 1, 2000);
        if (const QString socket = holderSocket(); !socket.isEmpty() && handOver(socket, int(wait)))
            return Role::HandedOver;
        qCDebug(lcApp) << "another copy holds" << m_lockPath << "but has not answered yet";
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("another copy holds %1 but does not answer at %2")
                          .arg(m_lockPath, holderSocket());
            return Role::Failed;
        }
        QThread::msleep(50);
    }
}

void SingleInstance::publishSocket()
{
    // One write of the whole line: a reader takes the path only with its line end.
    const QByteArray line = QFile::encodeName(m_socketPath) + '\n';
    if (::ftruncate(m_lockFd, 0) != 0 ||
        ::pwrite(m_lockFd, line.constData(), std::size_t(line.size()), 0) != line.size())
        qCWarning(lcApp) << "cannot write the socket's path to" << m_lockPath << ":"
                         << systemError(errno);
}

QString SingleInstance::holderSocket() const
{
    char buffer[sizeof(sockaddr_un::sun_path) + 1];
    const ssize_t got = ::pread(m_lockFd, buffer, sizeof buffer, 0);
    if (got <= 1 || buffer[got - 1] != '\n')
        return {};
    return QFile::decodeName(QByteArray(buffer, got - 1));
}

bool SingleInstance::handOver(const QString &socketPath, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    if (!peerIsThisUser(socket)) {
        qCWarning(lcApp) << "the socket" << socketPath << "belongs to another user's process";
        return false;
    }
    socket.write(showRequest);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // The answer tells us the request was read before this process goes away.
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    }
    return socket.readLine() == acknowledgement;
}

bool SingleInstance::listen()
{
    if (QFile::encodeName(m_socketPath).size() >= qsizetype(sizeof(sockaddr_un::sun_path))) {
        m_error = QStringLiteral("the socket path %1 is too long").arg(m_socketPath);
        return false;
    }
    // Holding the lock, this copy is the only one: a socket file still there is stale.
    if (QFileInfo::exists(m_socketPath))
        qCDebug(lcApp) << "replacing the stale socket" << m_socketPath;
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath)) {
        m_error = QStringLiteral("cannot listen at %1: %2").arg(m_socketPath, m_server->errorString());
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::serveConnection);
    return true;
}

void SingleInstance::serveConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        if (!peerIsThisUser(*socket)) {
            qCWarning(lcApp) << "refused a connection from another user's process";
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine() == showRequest) {
                    socket->write(acknowledgement);
                    Q_EMIT showRequested();
                } else {
                    qCWarning(lcApp) << "ignored an unknown request at" << m_socketPath;
                }
            }
        });
    }
}

} // namespace App

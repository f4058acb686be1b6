#include "setup/RunningInstalls.h"

#include "setup/Log.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QThread>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace Setup {

namespace {

struct ProcessEntry
{
    pid_t pid = 0;
    pid_t parent = 0;
    pid_t group = 0;
    bool zombie = false;
};

std::optional<ProcessEntry> readProcess(pid_t pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // The name may hold spaces and parentheses: the fields start after its last ')'.
    const QByteArray stat = file.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 3)
        return std::nullopt;
    return ProcessEntry{pid, pid_t(fields[1].toInt()), pid_t(fields[2].toInt()), fields[0] == "Z"};
}

QList<pid_t> processIds()
{
    QList<pid_t> ids;
    for (const QString &name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t pid = pid_t(name.toInt(&number));
        if (number)
            ids.append(pid);
    }
    return ids;
}

// `root` and everything below it, found before any of it is signalled: once a parent has gone
// its children belong to another and could no longer be told apart.
QList<ProcessEntry> processTree(pid_t root)
{
    QList<ProcessEntry> all;
    for (const pid_t pid : processIds()) {
        if (const auto entry = readProcess(pid))
            all.append(*entry);
    }
    QList<ProcessEntry> tree;
    QSet<pid_t> members{root};
    for (bool grew = true; grew;) {
        grew = false;
        for (const ProcessEntry &entry : std::as_const(all)) {
            if (!members.contains(entry.pid) && members.contains(entry.parent)) {
                members.insert(entry.pid);
                grew = true;
            }
        }
    }
    for (const ProcessEntry &entry : std::as_const(all)) {
        if (members.contains(entry.pid))
            tree.append(entry);
    }
    return tree;
}

void signalTree(const QList<ProcessEntry> &tree, int signal)
{
    const pid_t ownGroup = ::getpgrp();
    for (const ProcessEntry &entry : tree) {
        // The installer's process groups (the pseudo-terminal's sessions) go whole.
        if (entry.group > 1 && entry.group != ownGroup)
            ::kill(-entry.group, signal);
        ::kill(entry.pid, signal);
    }
}

bool anyAlive(const QList<ProcessEntry> &tree)
{
    return std::any_of(tree.begin(), tree.end(), [](const ProcessEntry &entry) {
        const auto now = readProcess(entry.pid);
        return now && !now->zombie;
    });
}

void endTree(pid_t root)
{
    const QList<ProcessEntry> tree = processTree(root);
    signalTree(tree, SIGTERM);
    for (QDeadlineTimer grace(2000); anyAlive(tree) && !grace.hasExpired();)
        QThread::msleep(20);
    if (anyAlive(tree))
        signalTree(tree, SIGKILL);
}

void removeAnswersFile(const QString &path)
{
    if (QFile file(path); !file.remove() && file.exists())
        qCWarning(lcSetup, "Cannot remove the answers file %s: %s", qUtf8Printable(path),
                  qUtf8Printable(file.errorString()));
}

// Whether a running process was started with `argument` on its command line.
bool givenToARunningProcess(const QByteArray &argument)
{
    for (const pid_t pid : processIds()) {
        QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (file.open(QIODevice::ReadOnly) && file.readAll().split('\0').contains(argument))
            return true;
    }
    return false;
}

} // namespace

RunningInstalls::~RunningInstalls()
{
    endAll();
}

void RunningInstalls::started(const QString &answersFile, qint64 pid)
{
    m_running.insert(answersFile, pid);
}

void RunningInstalls::finished(const QString &answersFile)
{
    m_running.remove(answersFile);
}

void RunningInstalls::endAll()
{
    for (auto it = m_running.constBegin(); it != m_running.constEnd(); ++it) {
        qCDebug(lcSetup, "Ending the installer (process %lld) still running", it.value());
        if (it.value() > 0)
            endTree(pid_t(it.value()));
        removeAnswersFile(it.key());
    }
    m_running.clear();
}

int RunningInstalls::removeLeftAnswersFiles(const QString &directory)
{
    int removed = 0;
    const QDir folder(directory);
    for (const QString &name :
         folder.entryList({QStringLiteral("orv_install_*.json")}, QDir::Files | QDir::System | QDir::Hidden)) {
        const QString path = folder.filePath(name);
        const QByteArray encoded = QFile::encodeName(path);
        struct stat status{};
        if (::lstat(encoded.constData(), &status) != 0 || !S_ISREG(status.st_mode) ||
            status.st_uid != ::getuid() || (status.st_mode & 07777) != 0600 ||
            givenToARunningProcess(encoded))
            continue;
        removeAnswersFile(path);
        ++removed;
    }
    if (removed)
        qCDebug(lcSetup, "Removed %d answers files an ended run left in %s", removed,
                qUtf8Printable(directory));
    return removed;
}

} // namespace Setup

#include "platform/ProcRunningApplications.h"

#include "platform/Log.h"

#include <QByteArray>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string_view>

namespace Platform {

namespace {

// Room for a /proc entry's name and the file name after it.
constexpr std::size_t procPathSize = sizeof(dirent::d_name) + 16;

constexpr std::string_view deletedSuffix = " (deleted)";
constexpr std::string_view helperArgument = "--type=";

bool isProcessId(const char *name)
{
    if (*name == '\0')
        return false;
    for (; *name != '\0'; ++name) {
        if (*name < '0' || *name > '9')
            return false;
    }
    return true;
}

// Reads a small /proc file relative to the /proc directory; empty when it cannot be read.
QByteArray readProcFile(int procFd, const char *pid, const char *file)
{
    std::array<char, procPathSize> path{};
    std::snprintf(path.data(), path.size(), "%s/%s", pid, file);
    const int fd = ::openat(procFd, path.data(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray contents;
    std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n <= 0)
            break;
        contents.append(buffer.data(), n);
    }
    ::close(fd);
    return contents;
}

// The first number of the "Uid:" line: the real user id.
bool hasRealUid(int procFd, const char *pid, uid_t uid)
{
    const QByteArray status = readProcFile(procFd, pid, "status");
    const qsizetype line = status.indexOf("\nUid:");
    if (line < 0)
        return false;
    qsizetype start = line + 5;
    while (start < status.size() && (status.at(start) == '\t' || status.at(start) == ' '))
        ++start;
    qsizetype end = start;
    while (end < status.size() && status.at(end) >= '0' && status.at(end) <= '9')
        ++end;
    bool ok = false;
    const qulonglong value = status.mid(start, end - start).toULongLong(&ok);
    return ok && value == uid;
}

bool isHelperProcess(int procFd, const char *pid)
{
    const QByteArray commandLine = readProcFile(procFd, pid, "cmdline");
    const QList<QByteArray> arguments = commandLine.split('\0');
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i).startsWith(
                QByteArrayView(helperArgument.data(), qsizetype(helperArgument.size()))))
            return true;
    }
    return false;
}

// Calls `found` with each matching process id until it returns false. The executable's link
// is read first because it is one system call and rules out nearly every process; the two
// files are read only for the few whose name matched.
void forEachMatch(const QStringList &names, const std::function<bool(pid_t)> &found)
{
    QList<QByteArray> encodedNames;
    encodedNames.reserve(names.size());
    for (const QString &name : names)
        encodedNames.append(QFile::encodeName(name));

    const int procFd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *directory = procFd < 0 ? nullptr : ::fdopendir(procFd);
    if (!directory) {
        const int error = errno;
        qCWarning(lcPlatform, "Cannot list running programs in /proc: %s",
                  qUtf8Printable(qt_error_string(error)));
        if (procFd >= 0)
            ::close(procFd);
        return;
    }
    const uid_t uid = ::getuid();
    std::array<char, procPathSize> exePath{};
    std::array<char, 4096> target{};
    while (const dirent *entry = ::readdir(directory)) {
        if (!isProcessId(entry->d_name))
            continue;
        std::snprintf(exePath.data(), exePath.size(), "%s/exe", entry->d_name);
        const ssize_t length = ::readlinkat(procFd, exePath.data(), target.data(), target.size());
        if (length <= 0 || length >= ssize_t(target.size()))
            continue;
        std::string_view executable(target.data(), std::size_t(length));
        // The link of a process whose executable was replaced or removed (an update while it
        // runs) ends with this marker.
        if (executable.ends_with(deletedSuffix))
            executable.remove_suffix(deletedSuffix.size());
        const std::size_t slash = executable.rfind('/');
        const std::string_view fileName =
            slash == std::string_view::npos ? executable : executable.substr(slash + 1);
        bool nameMatches = false;
        for (const QByteArray &name : encodedNames) {
            if (fileName == std::string_view(name.constData(), std::size_t(name.size()))) {
                nameMatches = true;
                break;
            }
        }
        if (!nameMatches || !hasRealUid(procFd, entry->d_name, uid) ||
            isHelperProcess(procFd, entry->d_name))
            continue;
        if (!found(pid_t(std::strtol(entry->d_name, nullptr, 10))))
            break;
    }
    ::closedir(directory);
}

} // namespace

bool ProcRunningApplications::isRunning(const QStringList &names) const
{
    bool running = false;
    forEachMatch(names, [&running](pid_t) {
        running = true;
        return false;
    });
    return running;
}

int ProcRunningApplications::terminate(const QStringList &names)
{
    int asked = 0;
    forEachMatch(names, [&asked](pid_t pid) {
        if (::kill(pid, SIGTERM) == 0) {
            ++asked;
        } else {
            const int error = errno;
            qCWarning(lcPlatform, "Cannot ask process %d to quit: %s", int(pid),
                      qUtf8Printable(qt_error_string(error)));
        }
        return true;
    });
    qCDebug(lcPlatform, "Asked %d running copies of %s to quit", asked,
            qUtf8Printable(names.join(QStringLiteral(", "))));
    return asked;
}

QList<qint64> ProcRunningApplications::processIds(const QStringList &names) const
{
    QList<qint64> ids;
    forEachMatch(names, [&ids](pid_t pid) {
        ids.append(pid);
        return true;
    });
    return ids;
}

RunningApplications &runningApplications()
{
    static ProcRunningApplications applications;
    return applications;
}

} // namespace Platform

#include "setup/InstallAnswers.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Setup {

namespace {

// QJsonObject would sort the members; the file keeps harnesses, funding, fields in order.
QByteArray jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QByteArray jsonStringArray(const QStringList &list)
{
    return QJsonDocument(QJsonArray::fromStringList(list)).toJson(QJsonDocument::Compact);
}

PlatformError fileError(const char *operation, const QString &path, int error)
{
    return {QLatin1String(operation), path, QString::fromLocal8Bit(std::strerror(error))};
}

} // namespace

QByteArray answersJson(const InstallAnswers &answers)
{
    QByteArray json = "{";
    QSet<QString> written;
    const auto member = [&](const QString &name, const QByteArray &value) {
        if (written.contains(name))
            return;
        written.insert(name);
        if (json.size() > 1)
            json += ',';
        json += jsonString(name) + ':' + value;
    };
    member(QStringLiteral("harnesses"), jsonStringArray(answers.harnesses));
    for (auto it = answers.fundingByGroup.constBegin(); it != answers.fundingByGroup.constEnd();
         ++it)
        member(it.key(), jsonStringArray(it.value()));
    for (auto it = answers.fields.constBegin(); it != answers.fields.constEnd(); ++it) {
        if (!it.value().isEmpty())
            member(it.key(), jsonString(it.value()));
    }
    json += '}';
    return json;
}

SetupResult<void> writePrivateFile(const QString &path, const QByteArray &contents)
{
    const QByteArray name = QFile::encodeName(path);
    // Mode 0600 from the start: the file is never readable by others, not even briefly.
    const int fd =
        ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return std::unexpected(fileError("write", path, errno));

    const auto fail = [&](const char *operation) -> SetupResult<void> {
        const int error = errno;
        ::close(fd);
        ::unlink(name.constData());
        return std::unexpected(fileError(operation, path, error));
    };

    qsizetype offset = 0;
    while (offset < contents.size()) {
        const ssize_t written = ::write(fd, contents.constData() + offset,
                                        static_cast<std::size_t>(contents.size() - offset));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return fail("write");
        offset += written;
    }
    // The umask may have taken the owner's write bit; set exactly 0600.
    if (::fchmod(fd, S_IRUSR | S_IWUSR) != 0)
        return fail("permissions");
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(name.constData());
        return std::unexpected(fileError("write", path, error));
    }
    return {};
}

} // namespace Setup

#include "overlay/GatewayConfig.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace Overlay {

namespace {

// The router writes a small file; anything larger is not its configuration.
constexpr qint64 maximumConfigSize = 4 * 1024 * 1024;

std::optional<QByteArray> readRegularFile(const QString &path)
{
    // Non-blocking so that opening a FIFO placed at the path returns at once.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat status
    {};
    std::optional<QByteArray> contents;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        status.st_size <= maximumConfigSize) {
        QByteArray data;
        char buffer[16384];
        for (;;) {
            const ssize_t count = ::read(fd, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0) {
                data = {};
                break;
            }
            if (count == 0) {
                contents = data;
                break;
            }
            data.append(buffer, count);
            // The file may have grown since fstat.
            if (data.size() > maximumConfigSize)
                break;
        }
    }
    ::close(fd);
    return contents;
}

std::optional<QString> nonEmptyString(const QJsonObject &object, QLatin1String key)
{
    const QJsonValue value = object.value(key);
    if (!value.isString() || value.toString().isEmpty())
        return std::nullopt;
    return value.toString();
}

} // namespace

QString gatewayConfigPath(const QString &homeDirectory)
{
    return QDir(homeDirectory).filePath(QStringLiteral(".config/orvane/config.json"));
}

std::optional<GatewayConfig> readGatewayConfig(const QString &homeDirectory)
{
    const std::optional<QByteArray> data = readRegularFile(gatewayConfigPath(homeDirectory));
    if (!data)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(*data);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const std::optional<QString> baseUrl =
        nonEmptyString(object, QLatin1String("gateway_base_url"));
    const std::optional<QString> apiKey = nonEmptyString(object, QLatin1String("api_key"));
    if (!baseUrl || !apiKey)
        return std::nullopt;
    return GatewayConfig{*baseUrl, *apiKey};
}

std::optional<QUrl> statusLineUrl(const QString &baseUrl, const QString &harness,
                                  const QString &surface)
{
    qsizetype first = 0;
    qsizetype last = baseUrl.size();
    while (first < last && baseUrl.at(first) == QLatin1Char('/'))
        ++first;
    while (last > first && baseUrl.at(last - 1) == QLatin1Char('/'))
        --last;
    QUrl url(baseUrl.mid(first, last - first) + QStringLiteral("/v1/orv/statusline"),
             QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    // Only unreserved characters stay literal, so "&", "=", "+" and spaces in a value cannot
    // change the query's meaning.
    const QByteArray query = "harness=" + QUrl::toPercentEncoding(harness) +
                             "&surface=" + QUrl::toPercentEncoding(surface);
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

} // namespace Overlay

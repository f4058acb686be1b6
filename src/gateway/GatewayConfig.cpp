#include "gateway/GatewayConfig.h"

#include "platform/RegularFile.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace Gateway {

namespace {

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

std::expected<GatewayConfig, ConfigProblem> readGatewayConfig(const QString &homeDirectory)
{
    // The router writes a small file; anything larger, or not a regular file, is not its
    // configuration.
    const QString path = gatewayConfigPath(homeDirectory);
    const std::optional<QByteArray> data = Platform::readRegularFile(path);
    if (!data) {
        return std::unexpected(QFileInfo(path).exists() || QFileInfo(path).isSymLink()
                                   ? ConfigProblem::Unreadable
                                   : ConfigProblem::Missing);
    }
    const QJsonDocument document = QJsonDocument::fromJson(*data);
    if (!document.isObject())
        return std::unexpected(ConfigProblem::NotAnObject);
    const QJsonObject object = document.object();
    const std::optional<QString> baseUrl =
        nonEmptyString(object, QLatin1String("gateway_base_url"));
    const std::optional<QString> apiKey = nonEmptyString(object, QLatin1String("api_key"));
    if (!baseUrl || !apiKey)
        return std::unexpected(ConfigProblem::Incomplete);
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

} // namespace Gateway

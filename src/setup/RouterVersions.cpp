#include "setup/RouterVersions.h"

#include "platform/HomeDirectory.h"
#include "setup/ShellRunner.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

namespace Setup {

namespace {

constexpr auto runtimePackageFile = "~/.local/share/orvane/runtime/package.json";
constexpr int requestTimeoutMs = 4000;

std::optional<QString> versionFromLatestDocument(const QByteArray &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonValue version = document.object().value(QLatin1String("version"));
    if (!document.isObject() || !version.isString())
        return std::nullopt;
    return version.toString();
}

std::optional<QUrl> registryAddress(const QString &line)
{
    const QUrl url(line.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() ||
        (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
        return std::nullopt;
    return url;
}

} // namespace

std::optional<QString> installedRouterVersion()
{
    QFile file(Platform::expandTilde(QLatin1String(runtimePackageFile)));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject package = document.object();
    for (auto it = package.constBegin(); it != package.constEnd(); ++it) {
        if (!it.value().isString())
            return std::nullopt;
    }
    if (!package.contains(QLatin1String("version")))
        return std::nullopt;
    return package.value(QLatin1String("version")).toString();
}

void discoverRegistry(RegistryFound done)
{
    runInLoginShell({QStringLiteral("npm"), QStringLiteral("config"), QStringLiteral("get"),
                     QStringLiteral("registry")},
                    [done = std::move(done)](const SetupResult<QString> &output) {
                        if (!output) {
                            done(std::nullopt);
                            return;
                        }
                        // Start-up files print before npm and npm may warn after its
                        // answer: take the last line that is a web address.
                        const QStringList lines = output->split(QLatin1Char('\n'));
                        for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
                            if (const auto registry = registryAddress(*line)) {
                                done(registry);
                                return;
                            }
                        }
                        done(std::nullopt);
                    });
}

QUrl latestVersionUrl(const QUrl &registry)
{
    QString base = registry.toString();
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return QUrl(base + QLatin1String(routerPackage) + QLatin1String("/latest"));
}

void fetchLatestRouterVersion(const QUrl &registry,
                              std::function<void(std::optional<QString>)> done)
{
    auto *network = new QNetworkAccessManager;
    QNetworkRequest request(latestVersionUrl(registry));
    request.setTransferTimeout(requestTimeoutMs);
    QNetworkReply *reply = network->get(request);
    QObject::connect(
        reply, &QNetworkReply::finished, network, [network, reply, done = std::move(done)] {
            std::optional<QString> latest;
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (reply->error() == QNetworkReply::NoError && status >= 200 && status <= 299)
                latest = versionFromLatestDocument(reply->readAll());
            reply->deleteLater();
            network->deleteLater();
            done(latest);
        });
}

void versionInfo(Completion<VersionInfo> done)
{
    versionInfo(discoverRegistry, std::move(done));
}

void versionInfo(const RegistryDiscovery &discover, Completion<VersionInfo> done)
{
    const std::optional<QString> installed = installedRouterVersion();
    discover([installed, done = std::move(done)](const std::optional<QUrl> &registry) {
        if (!registry) {
            QTimer::singleShot(0, [installed, done] {
                done(VersionInfo{installed, std::nullopt});
            });
            return;
        }
        fetchLatestRouterVersion(*registry, [installed, done](std::optional<QString> latest) {
            done(VersionInfo{installed, latest});
        });
    });
}

} // namespace Setup

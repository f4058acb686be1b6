#include "setup/RouterVersions.h"

#include "manifest/ManifestLoader.h"
#include "platform/HomeDirectory.h"
#include "platform/RegularFile.h"
#include "setup/Log.h"
#include "setup/ShellRunner.h"

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
    const QString path = Platform::expandTilde(QLatin1String(runtimePackageFile));
    const auto contents = Platform::readRegularFile(path);
    if (!contents)
        return std::nullopt;
    const auto unreadable = [&path] {
        qCWarning(lcSetup, "%s is not the router's package file; taken as not installed",
                  qUtf8Printable(path));
        return std::nullopt;
    };
    const QJsonDocument document = QJsonDocument::fromJson(*contents);
    if (!document.isObject())
        return unreadable();
    const QJsonObject package = document.object();
    for (auto it = package.constBegin(); it != package.constEnd(); ++it) {
        if (!it.value().isString())
            return unreadable();
    }
    if (!package.contains(QLatin1String("version")))
        return unreadable();
    return package.value(QLatin1String("version")).toString();
}

void discoverRegistry(RegistryFound done)
{
    // npm keeps a log file of every run; a question asked at every start leaves none.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("npm_config_logs_max"), QStringLiteral("0"));
    runInLoginShell({QStringLiteral("npm"), QStringLiteral("config"), QStringLiteral("get"),
                     QStringLiteral("registry")},
                    [done = std::move(done)](const SetupResult<QString> &output) {
                        if (!output) {
                            qCWarning(lcSetup, "npm config get registry failed");
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
                        qCWarning(lcSetup, "npm config get registry printed no web address");
                        done(std::nullopt);
                    },
                    environment);
}

QUrl latestVersionUrl(const QUrl &registry)
{
    QString base = registry.toString();
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return QUrl(base + Manifest::ManifestLoader::packageName() + QLatin1String("/latest"));
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
            if (!latest)
                qCWarning(lcSetup, "No latest version from %s: %s (HTTP status %d)",
                          qUtf8Printable(reply->url().toDisplayString(QUrl::RemoveUserInfo)),
                          qUtf8Printable(reply->errorString()), status);
            else
                qCDebug(lcSetup, "Latest router version %s", qUtf8Printable(*latest));
            reply->deleteLater();
            network->deleteLater();
            done(latest);
        });
}

void versionInfo(Completion<VersionInfo> done)
{
    versionInfo(discoverRegistry, std::move(done), Platform::QtTimers::instance());
}

void versionInfo(const RegistryDiscovery &discover, Completion<VersionInfo> done,
                 Platform::Timers &timers)
{
    // Whichever comes first, the answer or the time limit, completes; the other is dropped.
    struct Pending
    {
        Completion<VersionInfo> done;
        std::unique_ptr<Platform::TimerHandle> limit;
        VersionInfo info;
        void finish(std::optional<QString> latest)
        {
            if (!done)
                return;
            limit->stop();
            info.latest = std::move(latest);
            std::exchange(done, nullptr)(info);
        }
    };
    auto pending = std::make_shared<Pending>();
    pending->done = std::move(done);
    pending->info.installed = installedRouterVersion();
    // Weak: the lookup in flight keeps the state alive, and the limit must not keep it for ever.
    pending->limit = timers.singleShot(versionInfoLimit, [weak = std::weak_ptr(pending)] {
        if (const auto self = weak.lock()) {
            qCWarning(lcSetup, "The latest router version took too long to find; shown as unknown");
            self->finish(std::nullopt);
        }
    });
    discover([pending](const std::optional<QUrl> &registry) {
        if (!pending->done)
            return;
        if (!registry) {
            QTimer::singleShot(0, [pending] { pending->finish(std::nullopt); });
            return;
        }
        fetchLatestRouterVersion(*registry, [pending](std::optional<QString> latest) {
            pending->finish(std::move(latest));
        });
    });
}

} // namespace Setup

#include "AwaitCompletion.h"
#include "FixtureHome.h"
#include "LoopbackHttpServer.h"

#include "setup/RouterOperations.h"
#include "setup/RouterVersions.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

// The real npx installs a stand-in router package from a registry on loopback, through the real
// pseudo-terminal runner and the user's real login shell; then the version lookup sees it.
class TestRouterEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void installUpdateUninstall();

private:
    static QJsonObject readJson(const FixtureHome &home, const QString &relative)
    {
        return QJsonDocument::fromJson(home.readFile(relative)).object();
    }
};

namespace {

const QString kSpec = QStringLiteral("orvane@latest");
constexpr int kNpxTimeoutMs = 180000;

Awaited<Setup::VersionInfo> versionInfo()
{
    return awaitCompletion<Setup::VersionInfo>(
        [](Completion<Setup::VersionInfo> done) { Setup::versionInfo(std::move(done)); });
}

// npx on a terminal draws a spinner (frame, ESC [1G, ESC [0K) and leaves one frame after the
// command; cleaning removes the cursor codes but not the frame, so skip frame-only lines.
QString lastTextLine(const QString &output)
{
    QStringList lines = output.split(QStringLiteral("\r\n"));
    for (QString &line : lines)
        line.remove(QRegularExpression(QStringLiteral("[\\x{2800}-\\x{28FF}]")));
    lines.removeAll(QString());
    return lines.isEmpty() ? QString() : lines.last().trimmed();
}

} // namespace

void TestRouterEndToEnd::installUpdateUninstall()
{
    if (QStandardPaths::findExecutable(QStringLiteral("npx")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("npm")).isEmpty())
        QSKIP("npm/npx are not installed; the end-to-end install needs the real npx");

    FixtureHome home(FixtureHome::Shell::Bash);
    QVERIFY(home.isValid());
    home.activate();
    LoopbackHttpServer registry;
    QVERIFY(registry.listen());
    const QString base = registry.baseUrl().toString();
    home.writeFile(QStringLiteral(".npmrc"),
                   "registry=" + base.toUtf8() + "\ncache=" + QFile::encodeName(home.tempDir()) +
                       "/npm-cache\nupdate-notifier=false\nfund=false\naudit=false\n");

    // The environment outranks .npmrc: make sure nothing in it points npm elsewhere.
    const QByteArray savedRegistry = qgetenv("npm_config_registry");
    const QByteArray savedCache = qgetenv("npm_config_cache");
    qputenv("npm_config_registry", base.toUtf8());
    qputenv("npm_config_cache", QFile::encodeName(home.tempDir()) + "/npm-cache");
    const auto restore = qScopeGuard([&] {
        qputenv("npm_config_registry", savedRegistry);
        qputenv("npm_config_cache", savedCache);
        if (savedRegistry.isNull())
            qunsetenv("npm_config_registry");
        if (savedCache.isNull())
            qunsetenv("npm_config_cache");
    });

    // Pack the stand-in package the way it would be published (with a cache of its own, so npx
    // has to fetch the tarball from the registry).
    const QString fixture = QStringLiteral(ORVANE_SETUP_FIXTURES "/orvane-router");
    QProcess pack;
    pack.setProcessChannelMode(QProcess::MergedChannels);
    pack.start(QStringLiteral("npm"),
               {QStringLiteral("pack"), fixture, QStringLiteral("--pack-destination"),
                home.tempDir(), QStringLiteral("--cache"),
                home.tempDir() + QStringLiteral("/pack-cache")});
    QVERIFY(pack.waitForFinished(120000));
    QVERIFY2(pack.exitCode() == 0, pack.readAll().constData());
    const QJsonObject manifest =
        QJsonDocument::fromJson([&] {
            QFile file(fixture + QStringLiteral("/package.json"));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }())
            .object();
    const QString version = manifest.value(QLatin1String("version")).toString();
    const QString tarballName = QStringLiteral("orvane-%1.tgz").arg(version);
    QFile tarballFile(QDir(home.tempDir()).filePath(tarballName));
    QVERIFY(tarballFile.open(QIODevice::ReadOnly));
    const QByteArray tarball = tarballFile.readAll();

    QJsonObject published = manifest;
    published.insert(
        QLatin1String("dist"),
        QJsonObject{
            {QLatin1String("tarball"), QString(base + QStringLiteral("orvane/-/") + tarballName)},
            {QLatin1String("shasum"),
             QString::fromLatin1(
                 QCryptographicHash::hash(tarball, QCryptographicHash::Sha1).toHex())},
            {QLatin1String("integrity"),
             QString(
                 QStringLiteral("sha512-") +
                 QString::fromLatin1(
                     QCryptographicHash::hash(tarball, QCryptographicHash::Sha512).toBase64()))},
        });
    const QJsonObject packument{
        {QLatin1String("name"), QStringLiteral("orvane")},
        {QLatin1String("dist-tags"), QJsonObject{{QLatin1String("latest"), version}}},
        {QLatin1String("versions"), QJsonObject{{version, published}}},
    };
    registry.route(QStringLiteral("/orvane"), {200, QJsonDocument(packument).toJson()});
    registry.route(QStringLiteral("/orvane/latest"), {200, QJsonDocument(published).toJson()});
    registry.route(QStringLiteral("/orvane/-/") + tarballName,
                   {200, tarball, "application/octet-stream"});

    // Before: nothing installed, the registry's latest known.
    Awaited<Setup::VersionInfo> before = versionInfo();
    QVERIFY(before.deliveredProperly());
    QCOMPARE(before.result->value(), (Setup::VersionInfo{std::nullopt, version}));

    // An installer failure comes back with its status and its last line.
    Setup::InstallAnswers answers;
    answers.harnesses = {QStringLiteral("claude-code"), QStringLiteral("codex")};
    answers.fundingByGroup = {
        {QStringLiteral("claude-code_funding"), {QStringLiteral("claude-subscription")}}};
    const Awaited<void> refused = awaitCompletion<void>(
        [&](Completion<void> done) { Setup::runInstall(answers, kSpec, std::move(done)); },
        kNpxTimeoutMs);
    QVERIFY(refused.deliveredProperly());
    const std::optional<SetupError> refusal = setupErrorOf(refused.result);
    QVERIFY(refusal);
    QCOMPARE(refusal->status, 2);
    QCOMPARE(lastTextLine(refusal->output), QStringLiteral("Missing api_key in the answers"));

    answers.fields = {{QStringLiteral("api_key"), QStringLiteral("sk-end-to-end")},
                      {QStringLiteral("gateway_base_url"), QStringLiteral("http://127.0.0.1:9/")}};
    const Awaited<void> installed = awaitCompletion<void>(
        [&](Completion<void> done) { Setup::runInstall(answers, kSpec, std::move(done)); },
        kNpxTimeoutMs);
    QVERIFY(installed.deliveredProperly());
    QVERIFY2(installed.result->has_value(),
             qPrintable(setupErrorOf(installed.result).value_or(SetupError{}).output));
    QVERIFY2(registry.requestedPaths().contains(QStringLiteral("/orvane/-/") + tarballName),
             qPrintable(registry.requestedPaths().join(u' ')));
    QCOMPARE(QDir(home.tempDir()).entryList({QStringLiteral("orv_install_*")}, QDir::Files),
             QStringList());

    const QJsonArray entries =
        readJson(home, QStringLiteral(".local/state/orvane/installations.json"))
            .value(QLatin1String("installations"))
            .toArray();
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.at(0).toObject().value(QLatin1String("harness")).toString(),
             QStringLiteral("claude-code"));
    QCOMPARE(entries.at(0).toObject().value(QLatin1String("user_funded_provider")).toString(),
             QStringLiteral("claude-subscription"));
    QCOMPARE(entries.at(1).toObject().value(QLatin1String("harness")).toString(),
             QStringLiteral("codex"));
    const QJsonObject config = readJson(home, QStringLiteral(".config/orvane/config.json"));
    QCOMPARE(config.value(QLatin1String("api_key")).toString(), QStringLiteral("sk-end-to-end"));
    QCOMPARE(config.value(QLatin1String("gateway_base_url")).toString(),
             QStringLiteral("http://127.0.0.1:9/"));

    Awaited<Setup::VersionInfo> after = versionInfo();
    QVERIFY(after.deliveredProperly());
    QCOMPARE(after.result->value(), (Setup::VersionInfo{version, version}));
    QVERIFY(!after.result->value().updateAvailable());

    const Awaited<void> updated = awaitCompletion<void>(
        [](Completion<void> done) { Setup::runUpdate(kSpec, std::move(done)); }, kNpxTimeoutMs);
    QVERIFY(updated.deliveredProperly());
    QVERIFY(updated.result->has_value());
    const Awaited<void> removed = awaitCompletion<void>(
        [](Completion<void> done) { Setup::runUninstall(kSpec, std::move(done)); }, kNpxTimeoutMs);
    QVERIFY(removed.deliveredProperly());
    QVERIFY(removed.result->has_value());
    QVERIFY(!QFile::exists(home.filePath(QStringLiteral(".config/orvane/config.json"))));

    // The installer ran on a terminal, and each command reached the package as written.
    QCOMPARE(home.readFile(QStringLiteral(".local/state/orvane/history.log")),
             "install " + version.toUtf8() +
                 " stdin-tty=true\nupdate --all\nuninstall --all --yes\n");
}

QTEST_GUILESS_MAIN(TestRouterEndToEnd)
#include "tst_routerendtoend.moc"

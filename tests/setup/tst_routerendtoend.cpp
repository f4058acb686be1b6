#include "AwaitCompletion.h"
#include "FixtureHome.h"
#include "LoopbackHttpServer.h"

#include "setup/RouterOperations.h"
#include "setup/RouterVersions.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

static const QString kSpec = u"orvane@latest"_s;

static std::optional<Setup::VersionInfo> versionInfo()
{
    const auto awaited = awaitCompletion<Setup::VersionInfo>(
        [](Completion<Setup::VersionInfo> done) { Setup::versionInfo(std::move(done)); });
    return awaited.result ? std::optional(awaited.result->value()) : std::nullopt;
}

// The real npx installs the stand-in router package (1.4.0) from a registry on loopback, through
// the real pseudo-terminal runner and login shell; then the version lookup sees it.
class TestRouterEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void installUpdateUninstall()
    {
        FixtureHome home;
        LoopbackHttpServer registry;
        // The environment outranks .npmrc: nothing in it may point npm elsewhere.
        qputenv("npm_config_registry", registry.url().toUtf8());
        qputenv("npm_config_cache", QFile::encodeName(home.path(u"npm-cache"_s)));
        home.write(u".npmrc"_s, "update-notifier=false\nfund=false\naudit=false\n");
        QProcess pack; // as it would be published
        pack.start(u"npm"_s,
                   {u"pack"_s, QStringLiteral(ORVANE_SETUP_FIXTURES "/orvane-router"),
                    u"--pack-destination"_s, home.path(), u"--cache"_s, home.path(u"pack"_s)});
        QVERIFY(pack.waitForFinished(120000) && pack.exitCode() == 0);
        const QByteArray tarball = home.read(u"orvane-1.4.0.tgz"_s);
        const QByteArray integrity =
            QCryptographicHash::hash(tarball, QCryptographicHash::Sha512).toBase64();
        const QByteArray manifest =
            QStringLiteral(
                R"({"name":"orvane","version":"1.4.0","bin":{"orvane":"bin/orvane.js","orv":"bin/orv.js"},"dist":{"tarball":"%1orvane/-/orvane-1.4.0.tgz","integrity":"sha512-%2"}})")
                .arg(registry.url(), QString::fromLatin1(integrity))
                .toUtf8();
        registry.routes.insert(
            u"/orvane"_s,
            {200, R"({"name":"orvane","dist-tags":{"latest":"1.4.0"},"versions":{"1.4.0":)" +
                      manifest + "}}"});
        registry.routes.insert(u"/orvane/latest"_s, {200, manifest});
        registry.routes.insert(u"/orvane/-/orvane-1.4.0.tgz"_s, {200, tarball});
        QCOMPARE(versionInfo(), Setup::VersionInfo(std::nullopt, u"1.4.0"_s));

        // A refusal comes back with the installer's status; its last line is the message, though
        // npx leaves a spinner frame after it.
        Setup::InstallAnswers answers{
            {u"claude-code"_s}, {{u"claude-code_funding"_s, {u"claude-subscription"_s}}}, {}};
        const auto install = [&](Completion<void> done) {
            Setup::runInstall(answers, kSpec, std::move(done));
        };
        const SetupError refusal = awaitCompletion<void>(install).error().value_or(SetupError{});
        QCOMPARE(refusal.status, 2);
        QVERIFY2(QString(refusal.output)
                     .remove(QRegularExpression(u"[\\x{2800}-\\x{28FF}\\s]+$"_s))
                     .endsWith(u"\nMissing api_key in the answers"_s),
                 qPrintable(refusal.output));

        answers.fields = {{u"api_key"_s, u"sk-end-to-end"_s}};
        const Awaited<void> installed = awaitCompletion<void>(install);
        QVERIFY2(installed.proper && installed.result->has_value(),
                 qPrintable(installed.error().value_or(SetupError{}).output));
        QCOMPARE(QDir(home.tempDir()).entryList({u"orv_install_*"_s}, QDir::Files), QStringList());
        // The answers reached the installer.
        QVERIFY(
            home.read(u".local/state/orvane/installations.json"_s).contains("claude-subscription"));
        QVERIFY(home.read(u".config/orvane/config.json"_s).contains("sk-end-to-end"));
        QCOMPARE(versionInfo(), Setup::VersionInfo(u"1.4.0"_s, u"1.4.0"_s));
        for (const auto operation : {&Setup::runUpdate, &Setup::runUninstall}) {
            const Awaited<void> awaited = awaitCompletion<void>(
                [&](Completion<void> done) { operation(kSpec, std::move(done)); });
            QVERIFY(awaited.proper && awaited.result->has_value());
        }
        // The installer ran on a terminal, and each command reached the package as written.
        QCOMPARE(home.read(u".local/state/orvane/history.log"_s),
                 "install 1.4.0 stdin-tty=true\nupdate --all\nuninstall --all --yes\n");
    }
};

QTEST_GUILESS_MAIN(TestRouterEndToEnd)
#include "tst_routerendtoend.moc"

#include "AwaitCompletion.h"
#include "FixtureHome.h"
#include "LoopbackHttpServer.h"

#include "setup/RouterOperations.h"
#include "setup/RouterVersions.h"

#include <QProcess>
#include <QRegularExpression>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

static const QString kSpec = u"orvane@latest"_s;

class TestRouterOperations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Two installs at once under a permissive umask: each writes its own owner-only answers file,
    // hands it to the installer and removes it, whether the installer succeeds or fails. Then
    // update and uninstall.
    void operations_data()
    {
        QTest::addColumn<QString>("shell");
        QTest::addColumn<int>("status");
        QTest::newRow("bash, commands succeed") << u"bash"_s << 0;
        QTest::newRow("zsh, commands fail") << u"zsh"_s << 4;
    }

    void operations()
    {
        QFETCH(QString, shell);
        QFETCH(int, status);
        QCOMPARE(Setup::answersJson({}), R"({"harnesses":[]})");
        const Setup::InstallAnswers answers{
            {u"claude-code"_s, u"codex"_s},
            {{u"claude_funding"_s, {u"subscription"_s}}, {u"openai_funding"_s, {}}},
            {{u"api_key"_s, u"sk-it's $x \"q\"\n\\ \u00fc"_s}, {u"org"_s, QString()}}};
        SKIP_UNLESS_INSTALLED(shell);
        FixtureHome home(shell);
        home.program(
            u"npx"_s,
            R"(stat -c '%a %n' "$5" >> "$HOME/installs"; cat "$5" > "$HOME/answers"; printf 'working\n\033[31mCould not configure\033[0m\n'; exit )" +
                QByteArray::number(status));
        const mode_t mask = ::umask(0);
        const Awaited<void> awaited = awaitCompletion<void>(
            [&](Setup::Completion<void> done) {
                Setup::runInstall(answers, kSpec, done);
                Setup::runInstall(answers, kSpec, done);
            },
            2);
        ::umask(mask);
        QVERIFY(awaited.proper && awaited.result->has_value() == !status);
        QCOMPARE(awaited.error().status, status);
        QVERIFY(!status || awaited.error().output.endsWith(u"working\r\nCould not configure"_s));

        const QStringList arguments = home.arguments(u"npx"_s);
        QCOMPARE(arguments, (QStringList{u"--yes"_s, kSpec, u"install"_s, u"--config"_s,
                                         arguments.value(4), u"--yes"_s}));
        // Each install logged its file's mode and path: two names in the temporary directory.
        const QStringList log = QString::fromUtf8(home.read(u"installs"_s)).split(u'\n');
        const QRegularExpression line(
            u"^600 "_s + QRegularExpression::escape(home.path()) +
            u"/orv_install_[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.json$"_s);
        QVERIFY2(log.filter(line).size() == 2 && log.size() == 3 && log[0] != log[1],
                 qPrintable(log.join(u'\n')));
        const QByteArray json =
            "{\"harnesses\":[\"claude-code\",\"codex\"],\"claude_funding\":[\"subscription\"],"
            "\"openai_funding\":[],\"api_key\":\"sk-it's $x \\\"q\\\"\\n\\\\ \xc3\xbc\"}";
        QCOMPARE(home.read(u"answers"_s), json);
        QCOMPARE(QDir(home.path()).entryList({u"orv_install_*"_s}, QDir::Files), QStringList());

        // Update and uninstall: their exact command lines, their status.
        for (const auto &[operation, expected] :
             {std::pair{&Setup::runUpdate, "--yes orvane@latest update --all"},
              std::pair{&Setup::runUninstall, "--yes orvane@latest uninstall --all --yes"}}) {
            const Awaited<void> other = awaitCompletion<void>(
                [&](Setup::Completion<void> done) { operation(kSpec, std::move(done)); });
            QVERIFY(other.proper && other.result->has_value() == !status);
            QCOMPARE(other.error().status, status);
            QCOMPARE(home.arguments(u"npx"_s).join(u' '), QString::fromLatin1(expected));
        }
    }

    // The real npx installs the stand-in router package (1.4.0) from a registry on loopback,
    // through the real pseudo-terminal runner and login shell; then the version lookup sees it.
    void realNpxAgainstLoopbackRegistry()
    {
        SKIP_UNLESS_INSTALLED(u"npx"_s);
        FixtureHome home;
        LoopbackHttpServer registry;
        // The environment outranks .npmrc: nothing may point npm elsewhere. The cache starts empty.
        qputenv("npm_config_registry", registry.url().toUtf8());
        QVERIFY(QProcess::execute(u"npm"_s, {u"pack"_s,
                                             QStringLiteral(ORVANE_SETUP_FIXTURES "/orvane-router"),
                                             u"--pack-destination"_s, home.path()}) == 0);
        const QByteArray manifest =
            QStringLiteral(
                R"({"name":"orvane","version":"1.4.0","bin":{"orvane":"bin/orvane.js","orv":"bin/orv.js"},"dist":{"tarball":"%1orvane/-/orvane-1.4.0.tgz"}})")
                .arg(registry.url())
                .toUtf8();
        registry.routes = {
            {u"/orvane"_s,
             {200, R"({"name":"orvane","dist-tags":{"latest":"1.4.0"},"versions":{"1.4.0":)" +
                       manifest + "}}"}},
            {u"/orvane/latest"_s, {200, manifest}},
            {u"/orvane/-/orvane-1.4.0.tgz"_s, {200, home.read(u"orvane-1.4.0.tgz"_s)}}};

        const Setup::InstallAnswers answers{
            {u"claude-code"_s},
            {{u"claude-code_funding"_s, {u"claude-subscription"_s}}},
            {{u"api_key"_s, u"sk-end-to-end"_s}}};
        const Awaited<void> installed = awaitCompletion<void>(
            [&](Setup::Completion<void> done) { Setup::runInstall(answers, kSpec, std::move(done)); });
        QVERIFY2(installed.succeeded(), qPrintable(installed.error().output));
        // The answers reached the installer.
        QVERIFY(home.read(u".config/orvane/config.json"_s).contains("sk-end-to-end"));
        QVERIFY(awaitCompletion<Setup::VersionInfo>([](Setup::Completion<Setup::VersionInfo> done) {
                    Setup::versionInfo(std::move(done));
                }).result ==
                Setup::SetupResult<Setup::VersionInfo>(Setup::VersionInfo(u"1.4.0"_s, u"1.4.0"_s)));
        for (const auto operation : {&Setup::runUpdate, &Setup::runUninstall})
            QVERIFY(awaitCompletion<void>([&](Setup::Completion<void> done) {
                        operation(kSpec, std::move(done));
                    }).succeeded());
        // The installer ran on a terminal, and each command reached the package as written.
        QCOMPARE(home.read(u".local/state/orvane/history.log"_s),
                 "install 1.4.0 stdin-tty=true\nupdate --all\nuninstall --all --yes\n");
    }
};

QTEST_GUILESS_MAIN(TestRouterOperations)
#include "tst_routeroperations.moc"

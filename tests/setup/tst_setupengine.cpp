// The real setup engine as the wizard meets it: every operation reports once, on the calling
// thread and never inside the call, with real login shells. Versions are compared and looked up
// (never holding the start-up check for long); what earlier setups recorded is read forgivingly.
#include "AwaitCompletion.h"
#include "FixtureHome.h"

#include "setup/RouterVersions.h"
#include "setup/SystemSetupEngine.h"
#include "support/HttpTestServer.h"
#include "support/ManualClock.h"
#include "support/ManualTimers.h"

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class TestSetupEngine : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("HOME", QFile::encodeName(m_home.path()));
        const QString path = m_home.path() + u"/.local/state/orvane/installations.json"_s;
        QCOMPARE(Setup::installationsPath(), path);
        qputenv("HOME", "/nonexistent"); // worked out once: a later HOME does not move it
        QCOMPARE(Setup::installationsPath(), path);
    }

    // The engine hands each operation its parts (the shells' own variations are the runner's).
    void everyOperationCompletesOnceOnTheCallingThread()
    {
        FixtureHome home;
        home.program(u"orv"_s, "exit 0");
        home.program(u"npx"_s, "echo 'Nothing to update'; exit 5");
        home.program(u"opener"_s, "exit 0");
        Setup::SystemSetupEngine engine({Setup::loginShellRunner(), {home.path(u"bin/opener"_s)}});

        QVERIFY(awaitCompletion<void>([&](auto done) {
                    engine.launchCodexDesktop(Setup::DesktopLaunchMode::Native, std::move(done));
                }).succeeded());
        QCOMPARE(home.arguments(u"orv"_s),
                 (QStringList{u"codex"_s, u"desktop"_s, u"native"_s}));

        QVERIFY(awaitCompletion<void>([&](auto done) { engine.openTerminal(std::move(done)); })
                    .succeeded());
        QVERIFY(QFileInfo::exists(home.path(u"opener.args"_s)));

        const auto update = awaitCompletion<void>(
            [&](auto done) { engine.runUpdate(u"orvane@latest"_s, std::move(done)); });
        QCOMPARE(update.describe(), u"5 Nothing to update"_s);
    }

    // Each row: a, then <, = or > for ascending, same or descending, then b.
    void compareVersionsAndUpdateAvailable()
    {
        for (const char *row :
             {"1.2.3 < 1.2.10", "1.2 = 1.2.0", "2.0.0 > 1.9.9", "1.2.3-beta.1 < 1.2.3",
              "v1.2.3 > 1.2.3", "alpha = beta", "1..2. = 1.2", "+1.-2 < 1.-1", "+-1.5 = 5",
              "-.3 = 3", "9223372036854775807 > 9223372036854775806", "9223372036854775808.1 = 1",
              "-9223372036854775808 < 0"}) {
            const QStringList a = QString::fromLatin1(row).split(u' ');
            const auto order = static_cast<int>(Setup::compareVersions(a[0], a[2]));
            QVERIFY2(u"<=>"_s.at(order) == a[1].at(0), row);
            QVERIFY2(Setup::VersionInfo(a[0], a[2]).updateAvailable() == (a[1] == u"<"_s), row);
        }
        QVERIFY(!Setup::VersionInfo(u"1.4.0"_s, std::nullopt).updateAvailable());
        QVERIFY(!Setup::VersionInfo(std::nullopt, u"1.4.0"_s).updateAvailable());
    }

    void nodeVersion()
    {
        // What node prints (null: no node on PATH, not even the system's) and the version found.
        const std::pair<const char *, const char *> rows[] = {
            {"v20.11.0", "v20.11.0"}, {nullptr, "absent"}, {"v", "absent"}};
        for (const auto &[prints, expected] : rows) {
            FixtureHome home(u"bash"_s, prints != nullptr); // greets with colour first
            if (prints)
                home.program(u"node"_s, "echo " + QByteArray(prints));
            Setup::SystemSetupEngine engine;
            const auto found = awaitCompletion<std::optional<QString>>(
                [&](auto done) { engine.nodeVersion(std::move(done)); });
            QVERIFY(found.succeeded());
            QCOMPARE(found.result->value().value_or(u"absent"_s), QString::fromLatin1(expected));
            QVERIFY(!prints || home.arguments(u"node"_s) == QStringList{u"--version"_s});
        }
    }

    void installedAndLatestVersion()
    {
        const char *doc = R"({"name":"orvane","version":"2.1.0","dist":{}})";
        // The runtime package file (null: none); the registry's HTTP status (-1: npm fails, so it
        // is not asked) and body; the installed and latest versions found. (A registry that never
        // answers is the engine's time limit test, on the test's timers.)
        // npm names a registry below a path without a trailing slash and warns after it.
        const std::tuple<const char *, int, const char *, const char *> rows[] = {
            {R"({"name":"orvane","version":"1.4.0"})", 200, doc, "1.4.0 2.1.0"},
            {nullptr, 404, doc, "absent absent"},
            {R"({"name":"orvane"})", 200, "<html>2.1.0</html>", "absent absent"},
            {R"({"version":"1.4.0","bin":{"orv":"orv.js"}})", 500, "", "absent absent"},
            {R"({"version":"1.4.0","size":3})", -1, doc, "absent absent"},
            {"<pipe>", -1, doc, "absent absent"}, // a named pipe would block its reader for ever
            {R"({"version":"1.4.0"})", 201, doc, "1.4.0 2.1.0"}, // 201: the real npm, told by .npmrc
            {R"({"version":"1.4.0"})", 202, doc, "1.4.0 2.1.0"}}; // 202: lines after it that are no registry
        for (const auto &[file, status, body, versions] : rows) {
            HttpTestServer server;
            server.routes.insert(u"/mirror/orvane/latest"_s, {status < 0 || status == 202 ? 200 : status, body});
            FixtureHome home;
            const QString package = home.path(u".local/share/orvane/runtime/package.json"_s);
            if (file && qstrcmp(file, "<pipe>") == 0)
                QVERIFY(QDir().mkpath(QFileInfo(package).path()) && ::mkfifo(QFile::encodeName(package).constData(), 0600) == 0);
            else if (file)
                home.write(u".local/share/orvane/runtime/package.json"_s, file);
            if (status == 201)
                home.write(u".npmrc"_s, "registry=" + server.url().toUtf8() + "/mirror\n");
            else
                home.program(u"npm"_s, "echo '" + server.url().toUtf8() +
                                           "/mirror'; echo 'npm warn' >&2" +
                                           (status == 202 ? "; echo ftp://127.0.0.1/mirror; echo http:/mirror" : "") +
                                           (status < 0 ? "; exit 1" : ""));
            Setup::SystemSetupEngine engine;
            const Awaited<Setup::VersionInfo> awaited = awaitCompletion<Setup::VersionInfo>(
                [&](auto done) { engine.versionInfo(std::move(done)); });
            QVERIFY(awaited.succeeded());
            const Setup::VersionInfo info = awaited.result->value();
            QCOMPARE(info.installed.value_or(u"absent"_s) + u' ' +
                         info.latest.value_or(u"absent"_s),
                     QString::fromLatin1(versions));
            if (status != 201)
                QCOMPARE(home.arguments(u"npm"_s), (QStringList{u"config"_s, u"get"_s, u"registry"_s}));
            else // npm writes a log file of every run unless told not to
                QCOMPARE(QDir(home.path(u".npm/_logs"_s)).entryList(QDir::Files), QStringList());
        }
    }

    // The whole lookup gives up after five seconds, the registry's discovery included.
    void versionInfoGivesUpAfterFiveSeconds()
    {
        FixtureHome home;
        home.write(u".local/share/orvane/runtime/package.json"_s, R"({"version":"1.4.0"})");

        // On the test's clock: a discovery that never answers.
        ManualClock clock;
        ManualTimers timers(clock);
        Setup::RegistryFound pendingDiscovery;
        std::optional<Setup::SetupResult<Setup::VersionInfo>> found;
        Setup::versionInfo([&](Setup::RegistryFound done) { pendingDiscovery = std::move(done); },
                           [&](Setup::SetupResult<Setup::VersionInfo> result) { found = result; },
                           timers);
        timers.advance(4999ms);
        QVERIFY(!found);
        timers.advance(1ms);
        QVERIFY(found && found->has_value());
        QCOMPARE(found->value(), Setup::VersionInfo(u"1.4.0"_s, std::nullopt));
        pendingDiscovery(std::nullopt); // a late answer changes nothing
        QTest::qWait(20);
        QCOMPARE(found->value(), Setup::VersionInfo(u"1.4.0"_s, std::nullopt));
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("contents"); // the whole file; null: none
        QTest::addColumn<QString>("expected");    // "<id>[=<funding>]", in order
        // Most rows give the elements of the "installations" array.
        // clang-format off
        const auto row = [](const char *name, const char *entries, const char *expected, bool whole = false) { QTest::newRow(name) << (whole ? QByteArray(entries) : R"({"version": 2, "installations": [)" + QByteArray(entries) + "]}") << QString::fromUtf8(expected); };
        row("no file", nullptr, "", true);
        row("invalid JSON", R"({"installations": [{"harness": "codex"})", "", true);
        row("empty installations", "", "");
        row("claude subscription", R"({"harness": "claude-code", "user_funded_provider": "claude-subscription"})", "claude-code=subscription");
        row("claude other provider kept", R"({"harness": "claude-code", "user_funded_provider": "openrouter"})", "claude-code=openrouter");
        row("claude: no provider string, subscription auth ignored", R"({"harness": "claude-code"}, {"harness": "claude-code", "user_funded_provider": 3}, {"harness": "claude-code", "openai_subscription_auth": true})", "claude-code claude-code claude-code");
        row("codex subscription auth wins", R"({"harness": "codex", "openai_subscription_auth": true, "user_funded_provider": "openai-api"})", "codex=subscription");
        row("codex subscription auth false", R"({"harness": "codex", "openai_subscription_auth": false, "user_funded_provider": "openai-api"})", "codex=openai-api");
        row("codex: auth not a boolean, claude-subscription kept", R"({"harness": "codex", "openai_subscription_auth": "true"}, {"harness": "codex", "user_funded_provider": "claude-subscription"})", "codex codex=claude-subscription");
        row("other harness never has funding", R"({"harness": "opencode", "user_funded_provider": "x", "openai_subscription_auth": true})", "opencode");
        row("disabled true left out, false listed", R"({"harness": "opencode", "disabled": true}, {"harness": "codex", "disabled": false})", "codex");
        row("disabled not a boolean listed", R"({"harness": "opencode", "disabled": "true"}, {"harness": "codex", "disabled": 1})", "opencode codex");
        row("entry without a harness string skipped", R"({"user_funded_provider": "x"}, {"harness": 7}, {"harness": "codex"})", "codex");
        row("one object and one number", R"({"harness": "codex"}, 1)", "");
        // A named pipe where the file is expected would block a reader for ever (other kinds of
        // file and a file past the size cap are the gateway configuration's rows).
        row("named pipe", "<pipe>", "", true);
        row("duplicates kept in file order", R"({"harness": "codex"}, {"harness": "claude-code"}, {"harness": "codex", "openai_subscription_auth": true})", "codex claude-code codex=subscription");
        // clang-format on
    }

    void read()
    {
        QFETCH(QByteArray, contents);
        QFile file(Setup::installationsPath());
        QVERIFY(QDir().mkpath(QFileInfo(file).path()) && (!file.exists() || file.remove()));
        if (contents == "<pipe>")
            QCOMPARE(::mkfifo(QFile::encodeName(file.fileName()).constData(), 0600), 0);
        else if (!contents.isNull())
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
        file.close();
        Setup::SystemSetupEngine engine;
        QStringList found;
        for (const Setup::ExistingHarness &harness : engine.readExistingHarnesses())
            found.append(harness.id + (harness.funding ? u'=' + *harness.funding : QString()));
        QTEST(found.join(u' '), "expected");
        QCOMPARE(engine.hasExistingInstall(), !found.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSetupEngine)
#include "tst_setupengine.moc"

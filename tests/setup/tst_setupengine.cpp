// The real setup engine as the wizard meets it: every operation reports once, on the calling
// thread and never inside the call, with real login shells; the version lookup never holds the
// start-up check for long; what earlier setups recorded is read forgivingly.
#include "AwaitCompletion.h"
#include "FixtureHome.h"

#include "setup/RouterVersions.h"
#include "setup/SystemSetupEngine.h"
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
        home.program(u"node"_s, "echo v22.3.0");
        home.program(u"npm"_s, "exit 1"); // no registry: the latest version is absent at once
        home.program(u"orv"_s, "exit 0");
        home.program(u"npx"_s, "echo 'Nothing to update'; exit 5");
        home.program(u"opener"_s, "exit 0");
        home.write(u".local/share/orvane/runtime/package.json"_s, R"({"version":"1.4.0"})");
        Setup::SystemSetupEngine engine({Setup::loginShellRunner(), {home.path(u"bin/opener"_s)}});

        const auto node = awaitCompletion<std::optional<QString>>(
            [&](auto done) { engine.nodeVersion(std::move(done)); });
        QVERIFY(node.succeeded());
        QCOMPARE(node.result->value(), u"v22.3.0"_s);

        const auto versions = awaitCompletion<Setup::VersionInfo>(
            [&](auto done) { engine.versionInfo(std::move(done)); });
        QVERIFY(versions.succeeded());
        QCOMPARE(versions.result->value(), Setup::VersionInfo(u"1.4.0"_s, std::nullopt));

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
        QVERIFY(update.proper);
        QCOMPARE(update.error().status, 5);
        QVERIFY(update.error().output.endsWith(u"\nNothing to update"_s)); // after the greeting
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

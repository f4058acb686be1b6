// The real setup engine as the wizard meets it: every operation reports once, on the calling
// thread and never inside the call, with real login shells; the version lookup never holds the
// start-up check for long.
#include "AwaitCompletion.h"
#include "FixtureHome.h"

#include "setup/RouterVersions.h"
#include "setup/SystemSetupEngine.h"
#include "support/ManualClock.h"
#include "support/ManualTimers.h"

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class TestSetupEngine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        home.write(u".local/state/orvane/installations.json"_s,
                   R"({"installations":[{"harness":"codex","openai_subscription_auth":true}]})");
        Setup::SystemSetupEngine engine({Setup::loginShellRunner(), {home.path(u"bin/opener"_s)},
                                         nullptr, home.path(u".local/state/orvane/installations.json"_s)});

        const auto node = awaitCompletion<std::optional<QString>>(
            [&](auto done) { engine.nodeVersion(std::move(done)); });
        QVERIFY(node.succeeded());
        QCOMPARE(node.result->value(), u"v22.3.0"_s);

        const auto versions = awaitCompletion<Setup::VersionInfo>(
            [&](auto done) { engine.versionInfo(std::move(done)); });
        QVERIFY(versions.succeeded());
        QCOMPARE(versions.result->value(), Setup::VersionInfo(u"1.4.0"_s, std::nullopt));

        QVERIFY(engine.hasExistingInstall());
        QCOMPARE(engine.readExistingHarnesses(),
                 (QList<Setup::ExistingHarness>{{u"codex"_s, u"subscription"_s}}));

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
};

QTEST_GUILESS_MAIN(TestSetupEngine)
#include "tst_setupengine.moc"

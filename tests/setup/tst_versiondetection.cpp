#include "AwaitCompletion.h"
#include "FixtureHome.h"
#include "LoopbackHttpServer.h"

#include "setup/NodeVersion.h"
#include "setup/RouterVersions.h"
#include "setup/VersionInfo.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

using Shell = FixtureHome::Shell;
using Setup::VersionOrder;

Q_DECLARE_METATYPE(FixtureHome::Shell)
Q_DECLARE_METATYPE(Setup::VersionOrder)

namespace {

using OptionalString = std::optional<QString>;

OptionalString some(const char *text)
{
    return QString::fromUtf8(text);
}

// Runs the blocking probe where callers run it: off the main thread.
OptionalString nodeVersionOnWorker()
{
    OptionalString version;
    std::unique_ptr<QThread> worker(
        QThread::create([&version] { version = Setup::nodeVersion(); }));
    worker->start();
    worker->wait();
    return version;
}

} // namespace

Q_DECLARE_METATYPE(OptionalString)

class TestVersionDetection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void compareVersions_data();
    void compareVersions();
    void updateAvailable_data();
    void updateAvailable();
    void nodeVersion_data();
    void nodeVersion();
    void nodeVersionWithoutShell();
    void installedVersion_data();
    void installedVersion();
    void latestVersion_data();
    void latestVersion();
};

void TestVersionDetection::compareVersions_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<VersionOrder>("expected");
    const auto row = [](const char *name, const char *a, const char *b, VersionOrder order) {
        QTest::newRow(name) << QString::fromUtf8(a) << QString::fromUtf8(b) << order;
    };
    row("numeric, not textual", "1.2.3", "1.2.10", VersionOrder::Ascending);
    row("missing piece is zero", "1.2", "1.2.0", VersionOrder::Same);
    row("major wins", "2.0.0", "1.9.9", VersionOrder::Descending);
    row("pre-release piece dropped", "1.2.3-beta.1", "1.2.3", VersionOrder::Ascending);
    row("leading v dropped", "v1.2.3", "1.2.3", VersionOrder::Descending);
    row("no numbers at all", "alpha", "beta", VersionOrder::Same);
    row("empty pieces dropped", "1..2.", "1.2", VersionOrder::Same);
    row("leading zeros", "1.02", "1.2", VersionOrder::Same);
    row("signs", "+1.-2", "1.-1", VersionOrder::Ascending);
    row("two signs do not convert", "+-1.5", "5", VersionOrder::Same);
    row("lone sign does not convert", "-.3", "3", VersionOrder::Same);
    row("space does not convert", " 1.2", "2", VersionOrder::Same);
    row("largest 64-bit value", "9223372036854775807", "9223372036854775806",
        VersionOrder::Descending);
    row("out of range dropped", "9223372036854775808.1", "1", VersionOrder::Same);
    row("smallest 64-bit value", "-9223372036854775808", "0", VersionOrder::Ascending);
}

void TestVersionDetection::compareVersions()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(VersionOrder, expected);
    QCOMPARE(Setup::compareVersions(a, b), expected);
}

void TestVersionDetection::updateAvailable_data()
{
    QTest::addColumn<OptionalString>("installed");
    QTest::addColumn<OptionalString>("latest");
    QTest::addColumn<bool>("expected");
    QTest::newRow("older installed") << some("1.4.0") << some("1.10.0") << true;
    QTest::newRow("same") << some("1.4.0") << some("1.4.0") << false;
    QTest::newRow("newer installed") << some("1.5.0") << some("1.4.9") << false;
    QTest::newRow("latest unknown") << some("1.4.0") << OptionalString() << false;
    QTest::newRow("installed unknown") << OptionalString() << some("1.4.0") << false;
}

void TestVersionDetection::updateAvailable()
{
    QFETCH(OptionalString, installed);
    QFETCH(OptionalString, latest);
    QFETCH(bool, expected);
    QCOMPARE((Setup::VersionInfo{installed, latest}.updateAvailable()), expected);
}

void TestVersionDetection::nodeVersion_data()
{
    QTest::addColumn<Shell>("shell");
    QTest::addColumn<std::optional<QByteArray>>("nodePrints"); // absent: no node on PATH
    QTest::addColumn<OptionalString>("expected");
    for (const Shell shell : {Shell::Bash, Shell::Zsh}) {
        const QByteArray name = shell == Shell::Bash ? "bash, " : "zsh, ";
        QTest::newRow(QByteArray(name + "version among start-up noise").constData())
            << shell << std::optional<QByteArray>("v20.11.0") << some("v20.11.0");
        QTest::newRow(QByteArray(name + "no node").constData())
            << shell << std::optional<QByteArray>() << OptionalString();
        QTest::newRow(QByteArray(name + "v followed by nothing").constData())
            << shell << std::optional<QByteArray>("v") << OptionalString();
        QTest::newRow(QByteArray(name + "space before the version").constData())
            << shell << std::optional<QByteArray>(" v20.11.0") << OptionalString();
        QTest::newRow(QByteArray(name + "prints nothing").constData())
            << shell << std::optional<QByteArray>("") << OptionalString();
    }
}

void TestVersionDetection::nodeVersion()
{
    QFETCH(Shell, shell);
    QFETCH(std::optional<QByteArray>, nodePrints);
    QFETCH(OptionalString, expected);
    if (FixtureHome::shellProgram(shell).isEmpty())
        QSKIP("zsh is not installed; the zsh rows need a real zsh");
    // Without node the home's PATH is its bin/ alone, so the system's node is not found either.
    FixtureHome home(shell, nodePrints.has_value());
    QVERIFY(home.isValid());
    home.activate();
    home.appendToLoginStartup(R"(printf '__ORV_NODE__ is the probe marker\n'; echo "v0.0.1")");
    if (nodePrints)
        home.writeProgram(QStringLiteral("node"),
                          FixtureHome::recordArguments(QStringLiteral("node")) +
                              "printf '%s\\n' '" + *nodePrints + "'\necho 'node: a warning' >&2");
    QCOMPARE(nodeVersionOnWorker(), expected);
    if (nodePrints)
        QCOMPARE(home.recordedArguments(QStringLiteral("node")),
                 QStringList{QStringLiteral("--version")});
}

void TestVersionDetection::nodeVersionWithoutShell()
{
    FixtureHome home(Shell::Bash);
    QVERIFY(home.isValid());
    home.activate();
    home.writeProgram(QStringLiteral("node"), "echo v20.11.0");
    qputenv("SHELL", QFile::encodeName(home.filePath(QStringLiteral("no-such-shell"))));
    QCOMPARE(nodeVersionOnWorker(), OptionalString());
}

void TestVersionDetection::installedVersion_data()
{
    QTest::addColumn<std::optional<QByteArray>>("packageFile");
    QTest::addColumn<OptionalString>("expected");
    QTest::newRow("strings only")
        << std::optional<QByteArray>(
               R"({"name":"orvane","version":"1.4.0","description":"router"})")
        << some("1.4.0");
    QTest::newRow("no file") << std::optional<QByteArray>() << OptionalString();
    QTest::newRow("no version") << std::optional<QByteArray>(R"({"name":"orvane"})")
                                << OptionalString();
    QTest::newRow("nested object")
        << std::optional<QByteArray>(R"({"version":"1.4.0","bin":{"orv":"bin/orv.js"}})")
        << OptionalString();
    QTest::newRow("number") << std::optional<QByteArray>(R"({"version":"1.4.0","size":3})")
                            << OptionalString();
    QTest::newRow("not JSON") << std::optional<QByteArray>("version=1.4.0") << OptionalString();
    QTest::newRow("array") << std::optional<QByteArray>(R"(["1.4.0"])") << OptionalString();
}

void TestVersionDetection::installedVersion()
{
    QFETCH(std::optional<QByteArray>, packageFile);
    QFETCH(OptionalString, expected);
    FixtureHome home(Shell::Bash);
    QVERIFY(home.isValid());
    home.activate();
    if (packageFile)
        home.writeFile(QStringLiteral(".local/share/orvane/runtime/package.json"), *packageFile);
    QCOMPARE(Setup::installedRouterVersion(), expected);
}

void TestVersionDetection::latestVersion_data()
{
    using Response = LoopbackHttpServer::Response;
    QTest::addColumn<QByteArray>("npm");                 // what `npm` does, "%BASE%" is the server
    QTest::addColumn<QString>("documentPath");           // where the server keeps the document
    QTest::addColumn<std::optional<Response>>("answer"); // absent: never answers
    QTest::addColumn<OptionalString>("expected");
    QTest::addColumn<QStringList>("requests");

    const QByteArray prints = "echo 'npm notice: config' >&2\necho '%BASE%";
    const QString latest = QStringLiteral("/orvane/latest");
    const Response version{200, R"({"name":"orvane","version":"2.1.0","dist":{}})"};
    QTest::newRow("version") << prints + "'" << latest << std::optional(version) << some("2.1.0")
                             << QStringList{latest};
    QTest::newRow("registry below a path")
        << prints + "mirror/npm/'" << QStringLiteral("/mirror/npm/orvane/latest")
        << std::optional(version) << some("2.1.0")
        << QStringList{QStringLiteral("/mirror/npm/orvane/latest")};
    QTest::newRow("registry without trailing slash")
        << prints + "mirror'" << QStringLiteral("/mirror/orvane/latest") << std::optional(version)
        << some("2.1.0") << QStringList{QStringLiteral("/mirror/orvane/latest")};
    QTest::newRow("warning after the answer")
        << prints + "'\necho 'npm warn Unknown user config \"color\"' >&2" << latest
        << std::optional(version) << some("2.1.0") << QStringList{latest};
    QTest::newRow("not found") << prints + "'" << QStringLiteral("/elsewhere")
                               << std::optional(version) << OptionalString() << QStringList{latest};
    QTest::newRow("server error") << prints + "'" << latest
                                  << std::optional(Response{500, version.body}) << OptionalString()
                                  << QStringList{latest};
    QTest::newRow("not JSON") << prints + "'" << latest
                              << std::optional(Response{200, "<html>2.1.0</html>", "text/html"})
                              << OptionalString() << QStringList{latest};
    QTest::newRow("version not a string")
        << prints + "'" << latest << std::optional(Response{200, R"({"version":2.1})"})
        << OptionalString() << QStringList{latest};
    QTest::newRow("never answers") << prints + "'" << latest << std::optional<Response>()
                                   << OptionalString() << QStringList{latest};
    QTest::newRow("no npm") << QByteArray() << latest << std::optional(version) << OptionalString()
                            << QStringList();
    QTest::newRow("npm fails") << prints + "'\nexit 1" << latest << std::optional(version)
                               << OptionalString() << QStringList();
    QTest::newRow("npm prints no URL")
        << QByteArray("echo undefined") << latest << std::optional(version) << OptionalString()
        << QStringList();
}

void TestVersionDetection::latestVersion()
{
    QFETCH(QByteArray, npm);
    QFETCH(QString, documentPath);
    QFETCH(std::optional<LoopbackHttpServer::Response>, answer);
    QFETCH(OptionalString, expected);
    QFETCH(QStringList, requests);

    LoopbackHttpServer server;
    QVERIFY(server.listen());
    if (answer)
        server.route(documentPath, *answer);
    else
        server.setSilent(true);

    // Without npm the home's PATH is its bin/ alone, so the system's npm is not found either.
    FixtureHome home(Shell::Bash, !npm.isEmpty());
    QVERIFY(home.isValid());
    home.activate();
    home.writeFile(QStringLiteral(".local/share/orvane/runtime/package.json"),
                   R"({"name":"orvane","version":"2.0.0"})");
    if (!npm.isEmpty()) {
        npm.replace("%BASE%", server.baseUrl().toString().toUtf8());
        home.writeProgram(QStringLiteral("npm"),
                          FixtureHome::recordArguments(QStringLiteral("npm")) + npm);
    }

    QElapsedTimer elapsed;
    elapsed.start();
    const Awaited<Setup::VersionInfo> awaited = awaitCompletion<Setup::VersionInfo>(
        [](Completion<Setup::VersionInfo> done) { Setup::versionInfo(std::move(done)); }, 30000);
    QVERIFY(awaited.deliveredProperly());
    QVERIFY(awaited.result->has_value());
    QCOMPARE(awaited.result->value(), (Setup::VersionInfo{some("2.0.0"), expected}));
    QCOMPARE(server.requestedPaths(), requests);
    if (!npm.isEmpty())
        QCOMPARE(home.recordedArguments(QStringLiteral("npm")),
                 (QStringList{QStringLiteral("config"), QStringLiteral("get"),
                              QStringLiteral("registry")}));
    // Qt may fire its coarse time-out timer up to 5 % early.
    if (!answer) {
        QVERIFY2(elapsed.elapsed() >= 3500, qPrintable(QString::number(elapsed.elapsed())));
        QVERIFY2(elapsed.elapsed() < 15000, qPrintable(QString::number(elapsed.elapsed())));
    }
}

QTEST_GUILESS_MAIN(TestVersionDetection)
#include "tst_versiondetection.moc"

#include "AwaitCompletion.h"
#include "FixtureHome.h"
#include "support/HttpTestServer.h"

#include "setup/NodeVersion.h"
#include "setup/RouterVersions.h"
#include "setup/VersionInfo.h"

#include <sys/stat.h>

using namespace Qt::StringLiterals;

class TestVersionDetection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
            const auto found = awaitCompletion<std::optional<QString>>(
                [](Setup::Completion<std::optional<QString>> done) { Setup::nodeVersion(std::move(done)); });
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
            const Awaited<Setup::VersionInfo> awaited = awaitCompletion<Setup::VersionInfo>(
                [](Setup::Completion<Setup::VersionInfo> done) { Setup::versionInfo(std::move(done)); });
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
};

QTEST_GUILESS_MAIN(TestVersionDetection)
#include "tst_versiondetection.moc"

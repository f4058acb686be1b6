#include "AwaitCompletion.h"
#include "FixtureHome.h"
#include "LoopbackHttpServer.h"

#include "setup/NodeVersion.h"
#include "setup/RouterVersions.h"
#include "setup/VersionInfo.h"

#include <QElapsedTimer>

using namespace Qt::StringLiterals;
using Version = std::optional<QString>;

static const QString kPackageFile = u".local/share/orvane/runtime/package.json"_s;

static Version version(const char *text)
{
    return text ? Version(QString::fromUtf8(text)) : Version();
}

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
            {"v20.11.0", "v20.11.0"}, {nullptr, nullptr}, {"v", nullptr}};
        for (const QString &shell : {u"bash"_s, u"zsh"_s}) {
            for (const auto &[prints, expected] : rows) {
                FixtureHome home(shell, prints != nullptr); // greets with colour first
                if (prints)
                    home.program(u"node"_s,
                                 "echo '" + QByteArray(prints) + "'; echo 'node: a warning' >&2");
                QCOMPARE(Setup::nodeVersion(), version(expected));
                QCOMPARE(home.arguments(u"node"_s),
                         prints ? QStringList{u"--version"_s} : QStringList());
            }
        }
    }

    void installedVersion()
    {
        FixtureHome home;
        // The runtime package file (null: none) and the version read from it.
        const std::pair<const char *, const char *> rows[] = {
            {R"({"name":"orvane","version":"1.4.0"})", "1.4.0"},
            {nullptr, nullptr},
            {R"({"name":"orvane"})", nullptr},
            {R"({"version":"1.4.0","bin":{"orv":"orv.js"}})", nullptr},
            {R"({"version":"1.4.0","size":3})", nullptr},
        };
        for (const auto &[file, expected] : rows) {
            QFile::remove(home.path(kPackageFile));
            if (file)
                home.write(kPackageFile, file);
            QCOMPARE(Setup::installedRouterVersion(), version(expected));
        }
    }

    void latestVersion()
    {
        const char *doc = R"({"name":"orvane","version":"2.1.0","dist":{}})";
        // The registry's HTTP status (0: it never answers; -1: npm fails, so it is not asked), its
        // body, and the latest version found. npm names a registry below a path without a trailing
        // slash and warns after it.
        const std::tuple<int, const char *, const char *> rows[] = {
            {200, doc, "2.1.0"},
            {404, doc, nullptr},
            {200, "<html>2.1.0</html>", nullptr},
            {0, "", nullptr},
            {-1, doc, nullptr}};
        for (const auto &[status, body, latest] : rows) {
            LoopbackHttpServer server;
            server.routes.insert(u"/mirror/orvane/latest"_s, {std::max(status, 200), body});
            server.silent = status == 0;
            FixtureHome home;
            home.write(kPackageFile, R"({"version":"2.0.0"})");
            home.program(u"npm"_s, "echo '" + server.url().toUtf8() +
                                       "mirror'; echo 'npm warn' >&2" +
                                       (status < 0 ? "; exit 1" : ""));
            QElapsedTimer elapsed;
            elapsed.start();
            const Awaited<Setup::VersionInfo> awaited = awaitCompletion<Setup::VersionInfo>(
                [](Completion<Setup::VersionInfo> done) { Setup::versionInfo(std::move(done)); });
            QVERIFY(awaited.proper);
            QCOMPARE(awaited.result->value(), Setup::VersionInfo(u"2.0.0"_s, version(latest)));
            QCOMPARE(home.arguments(u"npm"_s), (QStringList{u"config"_s, u"get"_s, u"registry"_s}));
            // Qt may fire its coarse time-out timer up to 5 % early.
            QVERIFY(status || (elapsed.elapsed() >= 3500 && elapsed.elapsed() < 15000));
        }
    }
};

QTEST_GUILESS_MAIN(TestVersionDetection)
#include "tst_versiondetection.moc"

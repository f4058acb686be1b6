#include "support/HttpTestServer.h"

#include "gateway/GatewayStatusClient.h"
#include "support/ManualTimers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Gateway;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Gateway::StatusResult)
Q_DECLARE_METATYPE(Gateway::ConfigProblem)

namespace {

const StatusResult unavailable = std::unexpected(StatusFailure::Unavailable);

// A home folder whose configuration file the test writes.
struct Home
{
    QTemporaryDir dir;
    QString configPath() const
    {
        return dir.filePath(QStringLiteral(".config/orvane/config.json"));
    }
    void write(const QByteArray &contents) const
    {
        QDir().mkpath(QFileInfo(configPath()).path());
        QFile file(configPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
    }
    void configure(const QString &baseUrl, const QString &key = QStringLiteral("k-123")) const
    {
        write("{\"gateway_base_url\": \"" + baseUrl.toUtf8() + "\", \"api_key\": \"" +
              key.toUtf8() + "\", \"other\": [1, 2]}");
    }
};

GatewayStatus labelled(const QString &label)
{
    GatewayStatus status;
    status.label = label;
    return status;
}

// Runs one refresh to its end: its result and how long it took, or none after 10 s.
std::optional<std::pair<StatusResult, qint64>>
refreshAndWait(GatewayStatusClient &client, const QString &harness = u"claude-code"_s,
               const QString &surface = u"claude-desktop"_s)
{
    std::optional<StatusResult> result;
    const QMetaObject::Connection connection = QObject::connect(
        &client, &GatewayStatusClient::finished, [&](const StatusResult &r) { result = r; });
    QElapsedTimer clock;
    clock.start();
    client.refresh(harness, surface);
    const bool ended = QTest::qWaitFor([&] { return result.has_value(); }, 10000);
    QObject::disconnect(connection);
    if (!ended)
        return std::nullopt;
    return std::pair{*result, clock.elapsed()};
}

} // namespace

class GatewayStatusClientTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Answers of a reachable gateway: only a 2xx answer that decodes gives a status.
    void answers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<StatusResult>("result");
        const auto row = [](const char *name, int status, const QByteArray &body,
                            const StatusResult &result = unavailable) {
            QTest::newRow(name) << status << body << result;
        };
        // clang-format off
        row("{}", 200, "{}", GatewayStatus{});
        row("everything", 200, "{\"model_display_name\":\"Sonnet\",\"model\":\"s-4\",\"auth_mode\":\"oauth\",\"label\":\"L\",\"cache_expires_at\":1800000000.5,\"savings_pct\":38.2,\"asks_open\":2,\"answers_fresh\":1,\"extra\":{\"a\":1}}",
            GatewayStatus{u"Sonnet"_s, u"s-4"_s, u"L"_s, u"oauth"_s, 1800000000.5, 38.2, 2, 1});
        row("label alone, model id", 299, "{\"label\":\"Routing to plan\",\"model\":\"s-4\"}", GatewayStatus{{}, u"s-4"_s, u"Routing to plan"_s, {}, {}, {}, {}, {}});
        row("nulls are absent", 200, "{\"cache_expires_at\":null,\"savings_pct\":null,\"asks_open\":null,\"model\":null,\"auth_mode\":null,\"label\":null}", GatewayStatus{});
        row("whole-valued numbers as counters", 200, "{\"asks_open\":3.0,\"answers_fresh\":1e2,\"savings_pct\":7}", GatewayStatus{{}, {}, {}, {}, {}, 7.0, 3, 100});
        row("controls and bidi overrides dropped", 200, "{\"label\":\"\\u202e\\u0000evil\\u2066\\u001b[31m\\u200f\"}", labelled(u"evil[31m"_s));
        row("body of exactly 1 MiB", 200, "{\"label\":\"" + QByteArray(GatewayStatusClient::maximumBodySize - 12, 'x') + "\"}", labelled(QString(GatewayStatusClient::maximumBodySize - 12, u'x')));
        // clang-format on
        row("200 empty body", 200, {});
        row("204", 204, {});
        row("401", 401, "{}");
        row("503", 503, "{}");
        row("199 is not success", 199, "{}");
        row("300", 300, "{}");
        row("not JSON", 200, "<html>");
        row("array", 200, "[{}]");
        row("asks_open as a string", 200, "{\"asks_open\":\"3\"}");
        row("asks_open fractional", 200, "{\"asks_open\":1.5}");
        row("asks_open beyond 64 bits", 200, "{\"asks_open\":1e30}");
        row("label as a number", 200, "{\"label\":5}");
        row("savings as a string", 200, "{\"savings_pct\":\"38\"}");
        row("expiry as a bool", 200, "{\"cache_expires_at\":true}");
        row("model as an object", 200, "{\"model\":{}}");
    }
    void answers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        HttpTestServer server;
        server.answer = HttpTestServer::reply(status, body);
        Home home;
        home.configure(server.url());
        GatewayStatusClient client(home.dir.path());
        const auto done = refreshAndWait(client);
        QVERIFY(done);
        QVERIFY(!client.isFetching());
        QCOMPARE(server.requests.size(), 1);
        QFETCH(StatusResult, result);
        QVERIFY(done->first == result);
    }

    // The request: one GET to the status path below the base URL, with the key and the query.
    void request_data()
    {
        QTest::addColumn<QString>("suffix"); // appended to the server's URL
        QTest::addColumn<QString>("harness");
        QTest::addColumn<QString>("surface");
        QTest::addColumn<QByteArray>("target");
        const QByteArray plain = "/v1/orv/statusline?harness=claude-code&surface=claude-desktop";
        QTest::newRow("bare") << QString() << QStringLiteral("claude-code")
                              << QStringLiteral("claude-desktop") << plain;
        QTest::newRow("three slashes") << QStringLiteral("///") << QStringLiteral("claude-code")
                                       << QStringLiteral("claude-desktop") << plain;
        QTest::newRow("path prefix") << QStringLiteral("/gw/eu/") << QStringLiteral("codex")
                                     << QStringLiteral("codex-desktop")
                                     << QByteArray("/gw/eu/v1/orv/statusline?harness=codex&"
                                                   "surface=codex-desktop");
        QTest::newRow("query encoding")
            << QString() << QStringLiteral("a&b=c d+e") << QStringLiteral("caf\u00E9/?#")
            << QByteArray(
                   "/v1/orv/statusline?harness=a%26b%3Dc%20d%2Be&surface=caf%C3%A9%2F%3F%23");
    }
    void request()
    {
        QFETCH(QString, suffix);
        QFETCH(QString, harness);
        QFETCH(QString, surface);
        HttpTestServer server;
        server.answer = HttpTestServer::reply(200, "{}");
        Home home;
        home.configure(server.url() + suffix, QStringLiteral("key with spaces=/+"));
        GatewayStatusClient client(home.dir.path());
        const auto done = refreshAndWait(client, harness, surface);
        QVERIFY(done && done->first);
        QCOMPARE(server.requests.size(), 1);
        QVERIFY(server.requests[0].startsWith("GET "));
        QTEST(server.target(0), "target");
        QCOMPARE(server.header(0, "x-api-key"), QByteArray("key with spaces=/+"));
    }

    // Configurations that do not name a gateway: no request, and why.
    void notConfigured_data()
    {
        QTest::addColumn<QByteArray>("contents"); // "<none>", "<fifo>", "<directory>", "<huge>"
        QTest::addColumn<ConfigProblem>("problem");
        const auto row = [](const char *name, const QByteArray &contents, ConfigProblem problem) {
            QTest::newRow(name) << contents << problem;
        };
        row("missing", "<none>", ConfigProblem::Missing);
        row("named pipe", "<fifo>", ConfigProblem::Unreadable);
        row("directory", "<directory>", ConfigProblem::Unreadable);
        row("over the size cap", "<huge>", ConfigProblem::Unreadable);
        row("not JSON", "gateway_base_url=x", ConfigProblem::NotAnObject);
        row("array", "[{\"gateway_base_url\":\"U\",\"api_key\":\"k\"}]", ConfigProblem::NotAnObject);
        row("no key", "{\"gateway_base_url\":\"U\"}", ConfigProblem::Incomplete);
        row("empty URL", "{\"gateway_base_url\":\"\",\"api_key\":\"k\"}", ConfigProblem::Incomplete);
        row("empty key", "{\"gateway_base_url\":\"U\",\"api_key\":\"\"}", ConfigProblem::Incomplete);
        row("key a number", "{\"gateway_base_url\":\"U\",\"api_key\":5}", ConfigProblem::Incomplete);
        row("URL null", "{\"gateway_base_url\":null,\"api_key\":\"k\"}", ConfigProblem::Incomplete);
    }
    void notConfigured()
    {
        QFETCH(QByteArray, contents);
        HttpTestServer server;
        Home home;
        const QByteArray url = server.url().toUtf8();
        if (contents == "<fifo>") {
            QVERIFY(QDir().mkpath(QFileInfo(home.configPath()).path()));
            QCOMPARE(::mkfifo(QFile::encodeName(home.configPath()).constData(), 0600), 0);
        } else if (contents == "<directory>") {
            QVERIFY(QDir().mkpath(home.configPath()));
        } else if (contents == "<huge>") {
            home.write("{\"gateway_base_url\":\"" + url + "\",\"api_key\":\"k\",\"pad\":\"" +
                       QByteArray(5 * 1024 * 1024, 'x') + "\"}");
        } else if (contents != "<none>") {
            home.write(QByteArray(contents).replace("\"U\"", QByteArray("\"" + url + "\"")));
        }
        GatewayStatusClient client(home.dir.path());
        QTEST(client.readConfig().error(), "problem");
        const auto done = refreshAndWait(client);
        QVERIFY(done && done->first == std::unexpected(StatusFailure::NotConfigured));
        QVERIFY(!client.isFetching());
        QTest::qWait(50);
        QVERIFY(server.requests.isEmpty());
    }

    // The file as the router writes it; whitespace in the values is kept.
    void readConfig()
    {
        Home home;
        home.write(
            "{\"api_key\":\" k \",\"gateway_base_url\":\"https://gw.example/x/\",\"theme\":1}");
        const auto config = GatewayStatusClient(home.dir.path()).readConfig();
        QVERIFY(config);
        QCOMPARE(*config,
                 (GatewayConfig{QStringLiteral("https://gw.example/x/"), QStringLiteral(" k ")}));
    }

    // A base URL that cannot be made into a URL, one that is not HTTP, and a key that would
    // split the headers: nothing is sent.
    void unusableConfiguration_data()
    {
        QTest::addColumn<QString>("baseUrl");
        QTest::addColumn<QString>("key");
        QTest::addColumn<StatusResult>("result");
        const StatusResult noUrl = std::unexpected(StatusFailure::NoUrl);
        QTest::newRow("space in the host") << u"http://exa mple.com"_s << u"k"_s << noUrl;
        QTest::newRow("other scheme") << u"ftp://127.0.0.1"_s << u"k"_s << unavailable;
        QTest::newRow("no scheme") << u"127.0.0.1"_s << u"k"_s << unavailable;
        QTest::newRow("line break in the key") << u"http://127.0.0.1:9"_s << u"k\\r\\nX: y"_s
                                               << unavailable;
    }
    void unusableConfiguration()
    {
        QFETCH(QString, baseUrl);
        QFETCH(QString, key);
        Home home;
        home.configure(baseUrl, key);
        GatewayStatusClient client(home.dir.path());
        const auto done = refreshAndWait(client);
        QVERIFY(!client.isFetching());
        QFETCH(StatusResult, result);
        QVERIFY(done && done->first == result);
    }

    // One request at a time: a refresh while one is in flight sends nothing and gives no result.
    // Destroying the client mid-request is safe and gives none either.
    void inFlightAndDestroyed()
    {
        HttpTestServer server;
        QList<QTcpSocket *> waiting;
        server.answer = [&](QTcpSocket *socket) { waiting << socket; };
        Home home;
        home.configure(server.url());
        auto client = std::make_unique<GatewayStatusClient>(home.dir.path());
        QList<StatusResult> results;
        connect(client.get(), &GatewayStatusClient::finished,
                [&](const StatusResult &result) { results << result; });
        client->refresh(u"claude-code"_s, u"claude-desktop"_s);
        QVERIFY(client->isFetching());
        QTRY_COMPARE(server.requests.size(), 1);
        client->refresh(u"codex"_s, u"codex-desktop"_s);
        QTest::qWait(100);
        QCOMPARE(server.requests.size(), 1);
        QVERIFY(results.isEmpty());

        HttpTestServer::reply(200, "{\"label\":\"new\"}")(waiting.takeFirst());
        QTRY_COMPARE(results.size(), 1);
        QVERIFY(!client->isFetching());
        QVERIFY(results[0] == labelled(u"new"_s));

        client->refresh(u"claude-code"_s, u"claude-desktop"_s);
        QTRY_COMPARE(server.requests.size(), 2);
        client.reset();
        HttpTestServer::reply(200, "{\"label\":\"late\"}")(waiting.takeFirst());
        QTest::qWait(100);
        QCOMPARE(results.size(), 1);
    }

    // The deadline runs on the client's timers: a gateway that accepted the request and went
    // quiet is given up exactly when 4 s have passed on them, not a moment before.
    void deadlineOnTheTimers()
    {
        HttpTestServer server;
        QList<QTcpSocket *> waiting;
        server.answer = [&](QTcpSocket *socket) { waiting << socket; };
        Home home;
        home.configure(server.url());
        ManualClock clock;
        ManualTimers timers(clock);
        GatewayStatusClient client(home.dir.path(), timers);
        QList<StatusResult> results;
        connect(&client, &GatewayStatusClient::finished,
                [&](const StatusResult &result) { results << result; });
        client.refresh(u"claude-code"_s, u"claude-desktop"_s);
        QTRY_COMPARE(server.requests.size(), 1);
        timers.advance(std::chrono::milliseconds(3999));
        QVERIFY(client.isFetching());
        QVERIFY(results.isEmpty());
        timers.advance(std::chrono::milliseconds(1));
        QCOMPARE(results.size(), 1);
        QVERIFY(!client.isFetching());
        QVERIFY(results[0] == unavailable);

        // The next request gets a deadline of its own; an answer in time stops it.
        client.refresh(u"claude-code"_s, u"claude-desktop"_s);
        QTRY_COMPARE(server.requests.size(), 2);
        HttpTestServer::reply(200, "{\"label\":\"in time\"}")(waiting.last());
        QTRY_COMPARE(results.size(), 2);
        QVERIFY(results[1] == labelled(u"in time"_s));
        QCOMPARE(timers.pendingCount(), 0);
    }

    // A failure is logged once while it lasts, again after an answer, and no message holds the
    // key, even with every category's debug messages on.
    void logsEachFailureOnceWithoutTheKey()
    {
        static QStringList messages;
        messages.clear();
        QLoggingCategory::setFilterRules(u"orvane.*=true"_s);
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &, const QString &message) {
                messages << QString::number(type) + u' ' + message;
            });
        HttpTestServer server;
        server.answer = HttpTestServer::reply(503, "{}");
        Home home;
        home.configure(server.url(), u"sk-secret-4711"_s);
        GatewayStatusClient client(home.dir.path());
        const auto warnings = [] {
            return messages.filter(QString::number(QtWarningMsg) + u' ').size();
        };
        QVERIFY(refreshAndWait(client));
        QVERIFY(refreshAndWait(client));
        const int once = warnings();
        server.answer = HttpTestServer::reply(200, "{}");
        QVERIFY(refreshAndWait(client));
        server.answer = HttpTestServer::reply(503, "{}");
        QVERIFY(refreshAndWait(client));
        const int again = warnings();
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules({});
        QCOMPARE(once, 1);
        QCOMPARE(again, 2);
        QVERIFY2(messages.filter(u"HTTP 503"_s).size() == 2, qPrintable(messages.join(u'\n')));
        QVERIFY(messages.filter(u"sk-secret-4711"_s).isEmpty());
    }

    // Hostile or broken gateways end unavailable within about the deadline, and
    // the next refresh works.
    void hostile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("untilDeadline"); // else it must end well before the deadline
        QTest::newRow("never answers") << QStringLiteral("silent") << true;
        QTest::newRow("drips a byte every 3 s") << QStringLiteral("drip") << true;
        QTest::newRow("50 MiB body") << QStringLiteral("huge") << false;
        QTest::newRow("endless chunked body") << QStringLiteral("endless") << false;
        QTest::newRow("valid JSON over 1 MiB") << QStringLiteral("large") << false;
        QTest::newRow("closed mid-answer") << QStringLiteral("closed") << false;
        QTest::newRow("redirect to another host") << QStringLiteral("redirect") << false;
        QTest::newRow("streams headers at full speed") << QStringLiteral("headers") << false;
    }
    void hostile()
    {
        QFETCH(QString, kind);
        HttpTestServer server;
        HttpTestServer elsewhere;
        elsewhere.answer = HttpTestServer::reply(200, "{\"label\":\"stolen\"}");
        if (kind == QLatin1String("drip"))
            server.answer = HttpTestServer::stream(100, "{", 3000);
        else if (kind == QLatin1String("huge"))
            server.answer = HttpTestServer::stream(50 * 1024 * 1024, QByteArray(65536, ' '), 1);
        else if (kind == QLatin1String("endless"))
            server.answer = HttpTestServer::stream(-1, QByteArray(65536, ' '), 1);
        else if (kind == QLatin1String("large"))
            server.answer = HttpTestServer::reply(
                200,
                "{\"label\":\"" + QByteArray(GatewayStatusClient::maximumBodySize, 'x') + "\"}");
        else if (kind == QLatin1String("closed"))
            server.answer = HttpTestServer::closeMidAnswer();
        else if (kind == QLatin1String("headers"))
            server.answer = HttpTestServer::streamHeaders();
        else if (kind == QLatin1String("redirect"))
            server.answer = HttpTestServer::reply(
                302, {}, "Location: " + elsewhere.url().toUtf8() + "/v1/orv/statusline\r\n");
        Home home;
        home.configure(server.url());
        GatewayStatusClient client(home.dir.path());

        const auto done = refreshAndWait(client);
        QVERIFY(done);
        const qint64 took = done->second;
        QFETCH(bool, untilDeadline);
        // Timers of a second and more are coarse: they may fire up to 5 % early.
        if (untilDeadline)
            QVERIFY2(took >= 3750 && took < 5500, qPrintable(QString::number(took)));
        else
            QVERIFY2(took >= 0 && took < 2500, qPrintable(QString::number(took)));
        QVERIFY(done->first == unavailable);
        QVERIFY(!client.isFetching());
        QVERIFY(elsewhere.requests.isEmpty());

        server.answer = HttpTestServer::reply(200, "{\"label\":\"back\"}");
        const auto back = refreshAndWait(client);
        QVERIFY(back && back->first == labelled(u"back"_s));
    }
};

QTEST_GUILESS_MAIN(GatewayStatusClientTest)
#include "tst_gatewaystatusclient.moc"

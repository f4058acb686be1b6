#include "support/HttpTestServer.h"

#include "gateway/GatewayStatusClient.h"
#include "overlay/OverlayState.h"
#include "support/ManualTimers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Overlay;

namespace {

const QString unavailable = QStringLiteral("Gateway unavailable");
const QString notConfiguredText = QStringLiteral("Gateway not configured");

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

// A state that already shows an earlier answer, so that keeping and clearing both show.
void showEarlierAnswer(OverlayState &state)
{
    state.setModel(QStringLiteral("Earlier"));
    state.setCacheExpiresAt(2000000000.0);
    state.setSavingsPct(50.0);
    state.setAsksOpen(4);
    state.setAnswersFresh(5);
}

// Runs one refresh to its end; returns how long it took.
qint64 refreshAndWait(GatewayStatusClient &client)
{
    QSignalSpy finished(&client, &GatewayStatusClient::finished);
    QElapsedTimer clock;
    clock.start();
    client.refresh();
    if (finished.isEmpty() && !finished.wait(10000))
        return -1;
    return clock.elapsed();
}

} // namespace

class GatewayStatusClientTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Answers of a reachable gateway. Failures keep the model, expiry, savings and counters.
    void answers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("model");
        QTest::addColumn<double>("expiry");  // 0: absent
        QTest::addColumn<double>("savings"); // -1: absent
        QTest::addColumn<qint64>("asks");
        QTest::addColumn<qint64>("answers");
        const auto row = [](const char *name, int status, const QByteArray &body,
                            const QString &detail, const QString &model = QStringLiteral("Orvane"),
                            double expiry = 0, double savings = -1, qint64 asks = 0,
                            qint64 answers = 0) {
            QTest::newRow(name) << status << body << true << detail << model << expiry << savings
                                << asks << answers;
        };
        const QString connected = QStringLiteral("Connected");
        // clang-format off
        row("{}", 200, "{}", connected);
        row("everything", 200, "{\"model_display_name\":\"Sonnet\",\"model\":\"s-4\",\"auth_mode\":\"oauth\",\"label\":\"L\",\"cache_expires_at\":1800000000.5,\"savings_pct\":38.2,\"asks_open\":2,\"answers_fresh\":1,\"extra\":{\"a\":1}}",
            QStringLiteral("orv (oauth)"), QStringLiteral("Sonnet"), 1800000000.5, 38.2, 2, 1);
        row("label alone, model id", 299, "{\"label\":\"Routing to plan\",\"model\":\"s-4\"}", QStringLiteral("Routing to plan"), QStringLiteral("s-4"));
        row("nulls clear", 200, "{\"cache_expires_at\":null,\"savings_pct\":null,\"asks_open\":null,\"model\":null,\"auth_mode\":null,\"label\":null}", connected);
        row("whole-valued numbers as counters", 200, "{\"asks_open\":3.0,\"answers_fresh\":1e2,\"savings_pct\":7}", connected, QStringLiteral("Orvane"), 0, 7.0, 3, 100);
        row("body of exactly 1 MiB", 200, "{\"label\":\"" + QByteArray(GatewayStatusClient::maximumBodySize - 12, 'x') + "\"}", QString(GatewayStatusClient::maximumBodySize - 12, QLatin1Char('x')));
        // clang-format on
        const QString earlier = QStringLiteral("Earlier");
        const auto failed = [&](const char *name, int status, const QByteArray &body) {
            QTest::newRow(name) << status << body << false << unavailable << earlier << 2000000000.0
                                << 50.0 << qint64(4) << qint64(5);
        };
        failed("200 empty body", 200, {});
        failed("204", 204, {});
        failed("401", 401, "{}");
        failed("503", 503, "{}");
        failed("199 is not success", 199, "{}");
        failed("300", 300, "{}");
        failed("not JSON", 200, "<html>");
        failed("array", 200, "[{}]");
        failed("asks_open as a string", 200, "{\"asks_open\":\"3\"}");
        failed("asks_open fractional", 200, "{\"asks_open\":1.5}");
        failed("asks_open beyond 64 bits", 200, "{\"asks_open\":1e30}");
        failed("label as a number", 200, "{\"label\":5}");
        failed("savings as a string", 200, "{\"savings_pct\":\"38\"}");
        failed("expiry as a bool", 200, "{\"cache_expires_at\":true}");
        failed("model as an object", 200, "{\"model\":{}}");
    }
    void answers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        HttpTestServer server;
        server.answer = HttpTestServer::reply(status, body);
        Home home;
        home.configure(server.url());
        OverlayState state;
        showEarlierAnswer(state);
        GatewayStatusClient client(state, home.dir.path());
        QSignalSpy changed(&state, &OverlayState::changed);
        QVERIFY(refreshAndWait(client) >= 0);
        QVERIFY(!client.isFetching());
        QCOMPARE(server.requests.size(), 1);

        QTEST(state.connected(), "connected");
        QTEST(state.detail(), "detail");
        QTEST(state.model(), "model");
        QFETCH(double, expiry);
        QCOMPARE(state.cacheExpiresAt(), expiry == 0 ? std::nullopt : std::optional(expiry));
        QFETCH(double, savings);
        QCOMPARE(state.savingsPct(), savings < 0 ? std::nullopt : std::optional(savings));
        QFETCH(qint64, asks);
        QFETCH(qint64, answers);
        QCOMPARE(qint64(state.asksOpen()), asks);
        QCOMPARE(qint64(state.answersFresh()), answers);
        // A success ends with the explicit notification after its seven writes.
        QCOMPARE(changed.count(), state.connected() ? 8 : 2);
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
        OverlayState state;
        state.setHarness(harness);
        state.setSurface(surface);
        GatewayStatusClient client(state, home.dir.path());
        QVERIFY(refreshAndWait(client) >= 0);
        QCOMPARE(server.requests.size(), 1);
        QVERIFY(server.requests[0].startsWith("GET "));
        QTEST(server.target(0), "target");
        QCOMPARE(server.header(0, "x-api-key"), QByteArray("key with spaces=/+"));
        QVERIFY(state.connected());
    }

    // Configurations that do not name a gateway: "Gateway not configured" and no request.
    void notConfigured_data()
    {
        QTest::addColumn<QByteArray>("contents"); // "<none>", "<fifo>", "<directory>", "<huge>"
        QTest::newRow("missing") << QByteArray("<none>");
        QTest::newRow("named pipe") << QByteArray("<fifo>");
        QTest::newRow("directory") << QByteArray("<directory>");
        QTest::newRow("over the size cap") << QByteArray("<huge>");
        QTest::newRow("not JSON") << QByteArray("gateway_base_url=x");
        QTest::newRow("array") << QByteArray("[{\"gateway_base_url\":\"U\",\"api_key\":\"k\"}]");
        QTest::newRow("no key") << QByteArray("{\"gateway_base_url\":\"U\"}");
        QTest::newRow("empty URL") << QByteArray("{\"gateway_base_url\":\"\",\"api_key\":\"k\"}");
        QTest::newRow("empty key") << QByteArray("{\"gateway_base_url\":\"U\",\"api_key\":\"\"}");
        QTest::newRow("key a number") << QByteArray("{\"gateway_base_url\":\"U\",\"api_key\":5}");
        QTest::newRow("URL null") << QByteArray("{\"gateway_base_url\":null,\"api_key\":\"k\"}");
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
        OverlayState state;
        state.setConnected(true);
        GatewayStatusClient client(state, home.dir.path());
        QVERIFY(!client.readConfig());
        QVERIFY(refreshAndWait(client) >= 0);
        QVERIFY(!state.connected());
        QCOMPARE(state.detail(), notConfiguredText);
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
        OverlayState state;
        const std::optional<GatewayConfig> config =
            GatewayStatusClient(state, home.dir.path()).readConfig();
        QCOMPARE(config,
                 (GatewayConfig{QStringLiteral("https://gw.example/x/"), QStringLiteral(" k ")}));
    }

    // A base URL that cannot be made into a URL changes nothing; one that can but is not HTTP
    // counts as unreachable. Neither sends anything.
    void unusableBaseUrl_data()
    {
        QTest::addColumn<QString>("baseUrl");
        QTest::addColumn<QString>("detail");
        QTest::newRow("space in the host") << QStringLiteral("http://exa mple.com")
                                           << QStringLiteral("Connecting to gateway\u2026");
        QTest::newRow("other scheme") << QStringLiteral("ftp://127.0.0.1") << unavailable;
        QTest::newRow("no scheme") << QStringLiteral("127.0.0.1") << unavailable;
    }
    void unusableBaseUrl()
    {
        QFETCH(QString, baseUrl);
        Home home;
        home.configure(baseUrl);
        OverlayState state;
        GatewayStatusClient client(state, home.dir.path());
        client.refresh();
        QVERIFY(!client.isFetching());
        QTEST(state.detail(), "detail");
        QVERIFY(!state.connected());
    }

    // One request at a time: a refresh while one is in flight sends nothing. A success that
    // arrives while the controller says to discard it leaves the state alone. Destroying the
    // client mid-request is safe.
    void inFlightAndDiscarded()
    {
        HttpTestServer server;
        QList<QTcpSocket *> waiting;
        server.answer = [&](QTcpSocket *socket) { waiting << socket; };
        Home home;
        home.configure(server.url());
        OverlayState state;
        auto client = std::make_unique<GatewayStatusClient>(state, home.dir.path());
        bool discard = true;
        client->setDiscardCheck([&] { return discard; });
        QSignalSpy finished(client.get(), &GatewayStatusClient::finished);
        client->refresh();
        QVERIFY(client->isFetching());
        QTRY_COMPARE(server.requests.size(), 1);
        client->refresh();
        client->refresh();
        QTest::qWait(100);
        QCOMPARE(server.requests.size(), 1);
        QVERIFY(finished.isEmpty());

        HttpTestServer::reply(200, "{\"label\":\"new\"}")(waiting.takeFirst());
        QVERIFY(finished.wait());
        QVERIFY(!client->isFetching());
        QVERIFY(!state.connected());
        QCOMPARE(state.detail(), QStringLiteral("Connecting to gateway\u2026"));

        discard = false;
        client->refresh();
        QTRY_COMPARE(server.requests.size(), 2);
        client.reset();
        HttpTestServer::reply(200, "{\"label\":\"late\"}")(waiting.takeFirst());
        QTest::qWait(100);
        QCOMPARE(state.detail(), QStringLiteral("Connecting to gateway\u2026"));
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
        OverlayState state;
        ManualClock clock;
        ManualTimers timers(clock);
        GatewayStatusClient client(state, home.dir.path(), timers);
        QSignalSpy finished(&client, &GatewayStatusClient::finished);
        client.refresh();
        QTRY_COMPARE(server.requests.size(), 1);
        timers.advance(std::chrono::milliseconds(3999));
        QVERIFY(client.isFetching());
        QVERIFY(finished.isEmpty());
        timers.advance(std::chrono::milliseconds(1));
        QCOMPARE(finished.count(), 1);
        QVERIFY(!client.isFetching());
        QCOMPARE(state.detail(), unavailable);

        // The next request gets a deadline of its own; an answer in time stops it.
        client.refresh();
        QTRY_COMPARE(server.requests.size(), 2);
        HttpTestServer::reply(200, "{\"label\":\"in time\"}")(waiting.last());
        QVERIFY(finished.wait());
        QCOMPARE(state.detail(), QStringLiteral("in time"));
        QCOMPARE(timers.pendingCount(), 0);
    }

    // Hostile or broken gateways end in "Gateway unavailable" within about the deadline, and
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
        else if (kind == QLatin1String("redirect"))
            server.answer = HttpTestServer::reply(
                302, {}, "Location: " + elsewhere.url().toUtf8() + "/v1/orv/statusline\r\n");
        Home home;
        home.configure(server.url());
        OverlayState state;
        GatewayStatusClient client(state, home.dir.path());

        const qint64 took = refreshAndWait(client);
        QFETCH(bool, untilDeadline);
        // Timers of a second and more are coarse: they may fire up to 5 % early.
        if (untilDeadline)
            QVERIFY2(took >= 3750 && took < 5500, qPrintable(QString::number(took)));
        else
            QVERIFY2(took >= 0 && took < 2500, qPrintable(QString::number(took)));
        QCOMPARE(state.detail(), unavailable);
        QVERIFY(!state.connected());
        QVERIFY(!client.isFetching());
        QVERIFY(elsewhere.requests.isEmpty());

        server.answer = HttpTestServer::reply(200, "{\"label\":\"back\"}");
        QVERIFY(refreshAndWait(client) >= 0);
        QCOMPARE(state.detail(), QStringLiteral("back"));
        QVERIFY(state.connected());
    }
};

QTEST_GUILESS_MAIN(GatewayStatusClientTest)
#include "tst_gatewaystatusclient.moc"

#include "support/HttpTestServer.h"

#include "gateway/GatewayStatusClient.h"
#include "support/ManualTimers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

#include <sys/stat.h>

using namespace Gateway;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Gateway::StatusResult)
Q_DECLARE_METATYPE(std::optional<Gateway::GatewayStatus>)

namespace {

const StatusResult unavailable = std::unexpected(StatusFailure::Unavailable);
const QByteArray kKey = "key with spaces=/+";

// A home folder whose configuration file the test writes.
struct Home
{
    QTemporaryDir dir;
    QString configPath() const { return gatewayConfigPath(dir.path()); }
    void write(const QByteArray &contents) const
    {
        QDir().mkpath(QFileInfo(configPath()).path());
        QFile file(configPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(contents) == contents.size());
    }
    void configure(const QString &baseUrl, const QByteArray &key = kKey) const
    {
        write("{\"gateway_base_url\": \"" + baseUrl.toUtf8() + "\", \"api_key\": \"" + key + "\", \"other\": [1]}");
    }
};

GatewayStatus labelled(const QString &label)
{
    GatewayStatus status;
    status.label = label;
    return status;
}

struct Refreshed
{
    StatusResult result;
    qint64 took;    // ms
    qint64 stalled; // the longest the event loop did not run meanwhile, in ms
};

// Runs one refresh to its end, or none after 10 s; a 5 ms timer sees the event loop's stalls.
std::optional<Refreshed> refreshAndWait(GatewayStatusClient &client)
{
    std::optional<StatusResult> result;
    const QMetaObject::Connection connection = QObject::connect(
        &client, &GatewayStatusClient::finished, [&](const StatusResult &r) { result = r; });
    QElapsedTimer clock, since;
    qint64 stalled = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] { stalled = std::max(stalled, since.restart() - 5); });
    clock.start();
    since.start();
    probe.start(5);
    client.refresh(u"claude-code"_s, u"claude-desktop"_s);
    const bool ended = QTest::qWaitFor([&] { return result.has_value(); }, 10000);
    QObject::disconnect(connection);
    if (!ended)
        return std::nullopt;
    return Refreshed{*result, clock.elapsed(), std::max(stalled, since.elapsed() - 5)};
}

} // namespace

class GatewayStatusClientTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Strict decoding: a known key of another type refuses the whole body; counters are whole.
    void decode_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<std::optional<GatewayStatus>>("status"); // none: refused
        const auto row = [](const char *body, std::optional<GatewayStatus> status = std::nullopt) {
            QTest::newRow(*body ? body : "empty") << QByteArray(body) << status;
        };
        // clang-format off
        row("{}", GatewayStatus{});
        row("{\"model_display_name\":\"Sonnet\",\"model\":\"s-4\",\"auth_mode\":\"oauth\",\"label\":\"L\",\"cache_expires_at\":1800000000.5,\"savings_pct\":38.2,\"asks_open\":2,\"answers_fresh\":1,\"extra\":{\"a\":1}}",
            GatewayStatus{u"Sonnet"_s, u"s-4"_s, u"L"_s, u"oauth"_s, 1800000000.5, 38.2, 2, 1});
        row("{\"cache_expires_at\":null,\"savings_pct\":null,\"asks_open\":null,\"model\":null,\"auth_mode\":null,\"label\":null}", GatewayStatus{});
        row("{\"asks_open\":3.0,\"answers_fresh\":1e2,\"savings_pct\":7}", GatewayStatus{{}, {}, {}, {}, {}, 7.0, 3, 100});
        row("{\"label\":\"\\u202e\\u0000evil\\u2066\\u001b[31m\\u200f\\u061c\\u202a\\u2069\"}", labelled(u"evil[31m"_s));
        row("{\"label\":\"\\u061b\\u200d\\u2010\\u2029\\u202f\\u2065\\u206a\"}", labelled(u"\u061b\u200d\u2010\u2029\u202f\u2065\u206a"_s)); // neighbours kept
        for (const char *refused : {"", "<html>", "[{}]", "{\"asks_open\":\"3\"}", "{\"asks_open\":1.5}", "{\"answers_fresh\":1e30}", "{\"asks_open\":-1e30}",
                                    "{\"asks_open\":9.223372036854775808e18}", "{\"label\":5}", "{\"model_display_name\":5}", "{\"auth_mode\":5}",
                                    "{\"savings_pct\":\"38\"}", "{\"cache_expires_at\":true}", "{\"model\":{}}"})
            row(refused);
        // clang-format on
    }
    void decode()
    {
        QFETCH(QByteArray, body);
        const auto decoded = decodeGatewayStatus(body);
        QTEST(decoded ? std::optional(*decoded) : std::nullopt, "status");
    }

    // Through HTTP on loopback: one GET to the status path with the key; only a 2xx answer that
    // decodes gives a status; hostile or broken gateways end unavailable within about the
    // deadline (the client's deadline test) or well before it, never stalling the event loop,
    // their connection closed, and the next refresh works.
    void exchange_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<StatusResult>("result");
        const auto row = [](const char *name, const char *kind, int status, const QByteArray &body,
                            const StatusResult &result = unavailable) {
            QTest::newRow(name) << QString::fromLatin1(kind) << status << body << result;
        };
        const qsizetype cap = GatewayStatusClient::maximumBodySize;
        // clang-format off
        row("200", "reply", 200, "{\"label\":\"L\"}", labelled(u"L"_s));
        row("299", "reply", 299, "{}", GatewayStatus{});
        row("chunked, its length ignored", "chunked", 200, "5\r\n{\"lab\r\n8\r\nel\":\"c\"}\r\n0\r\n\r\n", labelled(u"c"_s));
        row("body of exactly 1 MiB", "reply", 200, "{\"label\":\"" + QByteArray(cap - 12, 'x') + "\"}", labelled(QString(cap - 12, u'x')));
        row("199", "reply", 199, "{}");
        row("200 empty body", "reply", 200, {});
        row("300", "reply", 300, "{}");
        row("not JSON", "reply", 200, "<html>");
        row("valid JSON over 1 MiB", "reply", 200, "{\"label\":\"" + QByteArray(cap, 'x') + "\"}");
        row("endless chunked body", "endless", 0, {});
        row("closed mid-answer", "closed", 0, {});
        row("redirect to another host", "redirect", 302, {});
        row("streams headers at full speed", "headers", 0, {});
        // clang-format on
    }
    void exchange()
    {
        QFETCH(QString, kind);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        HttpTestServer server;
        HttpTestServer elsewhere;
        elsewhere.answer = HttpTestServer::reply(200, "{\"label\":\"stolen\"}");
        const QHash<QString, HttpTestServer::Answer> answers{
            {u"reply"_s, HttpTestServer::reply(status, body)},
            {u"chunked"_s, HttpTestServer::reply(status, body, "Transfer-Encoding: chunked\r\n")},
            {u"endless"_s, [](QTcpSocket *socket) { // 64 KiB every millisecond while it is read
                 socket->write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
                 auto *timer = new QTimer(socket);
                 QObject::connect(timer, &QTimer::timeout, socket, [socket] {
                     if (socket->bytesToWrite() < 256 * 1024) // as a real sender, paced by the reader
                         socket->write("10000\r\n" + QByteArray(65536, ' ') + "\r\n");
                 });
                 timer->start(1);
             }},
            {u"closed"_s, [](QTcpSocket *socket) { // headers and a little of the body
                 socket->write("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n{\"model\":");
                 socket->flush();
                 socket->close();
             }},
            {u"headers"_s, [](QTcpSocket *socket) { // a status line, then header lines forever
                 const auto more = [socket] {
                     while (socket->bytesToWrite() < 256 * 1024)
                         socket->write("X-Pad: " + QByteArray(8192 - 9, 'p') + "\r\n");
                 };
                 socket->write("HTTP/1.1 200 OK\r\n");
                 QObject::connect(socket, &QTcpSocket::bytesWritten, socket, more);
                 more();
             }},
            {u"redirect"_s, HttpTestServer::reply(302, {}, "Location: " + elsewhere.url().toUtf8() + "/v1/orv/statusline\r\n")}};
        server.answer = answers.value(kind);
        Home home;
        home.configure(server.url());
        GatewayStatusClient client(home.dir.path());

        const auto done = refreshAndWait(client);
        QVERIFY(done);
        QVERIFY2(done->took < 2500, qPrintable(QString::number(done->took)));
        QFETCH(StatusResult, result);
        QVERIFY(done->result == result);
        // A read of everything at once would stall; a busy shared machine may add a little.
        QVERIFY2(done->stalled < 400, qPrintable(QString::number(done->stalled)));
        // Given up, the exchange is gone: its connection closed, nothing more read.
        QTRY_VERIFY(!server.connectionOpen());
        QCOMPARE(server.requests.size(), 1);
        QVERIFY(server.requests[0].startsWith("GET "));
        QCOMPARE(server.target(0), "/v1/orv/statusline?harness=claude-code&surface=claude-desktop");
        QCOMPARE(server.header(0, "x-api-key"), kKey);
        QVERIFY(elsewhere.requests.isEmpty());

        server.answer = HttpTestServer::reply(200, "{\"label\":\"back\"}");
        const auto back = refreshAndWait(client);
        QVERIFY(back && back->result == labelled(u"back"_s));
    }

    // The status endpoint below a base URL, the query percent-encoded beyond unreserved characters.
    void url()
    {
        QCOMPARE(statusLineUrl(u"///http://h:1/gw/eu///"_s, u"codex"_s, u"codex-desktop"_s)->toString(),
                 u"http://h:1/gw/eu/v1/orv/statusline?harness=codex&surface=codex-desktop"_s);
        QCOMPARE(statusLineUrl(u"/"_s, u"a&b=c d+e-._~"_s, u"caf\u00E9/?#"_s)->toEncoded(),
                 "/v1/orv/statusline?harness=a%26b%3Dc%20d%2Be-._~&surface=caf%C3%A9%2F%3F%23");
    }

    // The configuration file: what stands there instead (a folder is refused by the reader as a
    // pipe is), and what makes it incomplete; values are kept as written.
    void config_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("expected"); // "<url>|<key>", else the ConfigProblem's value
        const auto row = [](const char *name, const QByteArray &contents, const char *expected) {
            QTest::newRow(name) << contents << QString::fromUtf8(expected);
        };
        row("as the router writes it", "{\"api_key\":\" k \",\"gateway_base_url\":\"https://gw/x/\",\"theme\":1}", "https://gw/x/| k ");
        row("missing", "<none>", "0");
        row("named pipe", "<fifo>", "1");
        row("over the size cap", "<huge>", "1");
        row("not JSON", "gateway_base_url=x", "2");
        row("no key", R"({"gateway_base_url":"U"})", "3");
        row("empty URL", R"({"gateway_base_url":"","api_key":"k"})", "3");
    }
    void config()
    {
        QFETCH(QByteArray, contents);
        Home home;
        if (contents == "<fifo>") {
            QVERIFY(QDir().mkpath(QFileInfo(home.configPath()).path()));
            QCOMPARE(::mkfifo(QFile::encodeName(home.configPath()).constData(), 0600), 0);
        } else if (contents == "<huge>") {
            home.write("{\"gateway_base_url\":\"U\",\"api_key\":\"k\",\"pad\":\"" + QByteArray(5 << 20, 'x') + "\"}");
        } else if (contents != "<none>") {
            home.write(contents);
        }
        const auto config = GatewayStatusClient(home.dir.path()).readConfig();
        QTEST(config ? config->baseUrl + u'|' + config->apiKey : QString::number(int(config.error())), "expected");
    }

    // Nothing is sent without a usable configuration, a URL, an HTTP scheme, or a key that
    // cannot split the headers.
    void nothingSent_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<StatusResult>("result");
        QTest::newRow("incomplete") << QByteArray(R"({"gateway_base_url":"@"})") << StatusResult(std::unexpected(StatusFailure::NotConfigured));
        QTest::newRow("space in the host") << QByteArray("{\"gateway_base_url\":\"http://exa mple.com\",\"api_key\":\"k\"}") << StatusResult(std::unexpected(StatusFailure::NoUrl));
        QTest::newRow("other scheme") << QByteArray("{\"gateway_base_url\":\"ftp://@\",\"api_key\":\"k\"}") << unavailable;
        QTest::newRow("line break in the key") << QByteArray("{\"gateway_base_url\":\"http://@\",\"api_key\":\"k\\r\\nX: y\"}") << unavailable;
    }
    void nothingSent()
    {
        QFETCH(QByteArray, contents);
        HttpTestServer server;
        Home home;
        home.write(contents.replace("@", server.url().mid(7).toUtf8()));
        GatewayStatusClient client(home.dir.path());
        const auto done = refreshAndWait(client);
        QFETCH(StatusResult, result);
        QVERIFY(done && done->result == result);
        QTest::qWait(50);
        QVERIFY(server.requests.isEmpty());
    }

    // One request at a time: a refresh while one is in flight sends nothing. The deadline runs
    // on the client's timers, for the whole exchange: a gateway that starts its answer and then
    // drips is given up exactly when 4 s have passed on them; an answer in time stops it.
    // Destroying the client mid-request gives no result.
    void inFlightDeadlineAndDestroyed()
    {
        HttpTestServer server;
        QList<QTcpSocket *> waiting;
        server.answer = [&](QTcpSocket *socket) { waiting << socket; };
        Home home;
        home.configure(server.url());
        ManualClock clock;
        ManualTimers timers(clock);
        auto client = std::make_unique<GatewayStatusClient>(home.dir.path(), timers);
        QList<StatusResult> results;
        connect(client.get(), &GatewayStatusClient::finished, [&](const StatusResult &result) { results << result; });
        client->refresh(u"claude-code"_s, u"claude-desktop"_s);
        QTRY_COMPARE(server.requests.size(), 1);
        client->refresh(u"codex"_s, u"codex-desktop"_s);
        waiting.last()->write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{");
        timers.advance(std::chrono::milliseconds(2000));
        QTest::qWait(100);
        waiting.last()->write(" ");
        QTest::qWait(100);
        timers.advance(std::chrono::milliseconds(1999));
        QCOMPARE(server.requests.size(), 1);
        QVERIFY(client->isFetching() && results.isEmpty());
        timers.advance(std::chrono::milliseconds(1));
        QCOMPARE(results.size(), 1);
        QVERIFY(!client->isFetching() && results[0] == unavailable);

        client->refresh(u"claude-code"_s, u"claude-desktop"_s);
        QTRY_COMPARE(server.requests.size(), 2);
        HttpTestServer::reply(200, "{\"label\":\"in time\"}")(waiting.last());
        QTRY_COMPARE(results.size(), 2);
        QVERIFY(!client->isFetching() && results[1] == labelled(u"in time"_s));
        QCOMPARE(timers.pendingCount(), 0);

        client->refresh(u"claude-code"_s, u"claude-desktop"_s);
        QTRY_COMPARE(server.requests.size(), 3);
        client.reset();
        HttpTestServer::reply(200, "{\"label\":\"late\"}")(waiting.last());
        QTest::qWait(100);
        QCOMPARE(results.size(), 2);
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
        Home home;
        home.configure(server.url(), "sk-secret-4711");
        GatewayStatusClient client(home.dir.path());
        QList<int> warnings;
        for (const int status : {503, 503, 200, 503}) {
            server.answer = HttpTestServer::reply(status, "{}");
            QVERIFY(refreshAndWait(client));
            warnings << int(messages.filter(QString::number(QtWarningMsg) + u' ').size());
        }
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules({});
        QCOMPARE(warnings, (QList<int>{1, 1, 1, 2}));
        const QRegularExpression unavailable(u"^1 Gateway unavailable: .* HTTP 503$"_s);
        QVERIFY2(messages.filter(unavailable).size() == 2, qPrintable(messages.join(u'\n')));
        QVERIFY(messages.filter(u"sk-secret-4711"_s).isEmpty());
    }
};

QTEST_GUILESS_MAIN(GatewayStatusClientTest)
#include "tst_gatewaystatusclient.moc"

// The overlay controller as the application runs it (real timers, the inotify index, HTTP over
// loopback) against gateways that misbehave: it stays responsive, its timers keep firing on
// time, it ends in "Gateway unavailable", and the key it sends is written nowhere.
#include "support/HttpTestServer.h"

#include "support/OverlayStandIns.h"
#include "overlay/GatewayConfig.h"
#include "overlay/GatewayStatusClient.h"
#include "overlay/OriginStore.h"
#include "overlay/OverlayPanelController.h"
#include "overlay/Panel.h"
#include "platform/ActiveWindowMonitor.h"
#include "platform/Clock.h"
#include "platform/Screens.h"
#include "platform/Timers.h"
#include "usage/TranscriptIndex.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace Overlay;
using namespace std::chrono_literals;

namespace {

using StandIns::ClaudeInFront;
using StandIns::NoOrigin;
using StandIns::OneScreen;
using StandIns::QuietPanel;


// The real timers, each repeating one timed: how much later than its interval after the previous
// firing each firing came, the worst of all, and how often the display tick fired.
class MeasuredTimers final : public Platform::Timers
{
public:
    std::unique_ptr<Platform::TimerHandle> singleShot(std::chrono::milliseconds delay,
                                                      std::function<void()> action) override
    {
        return Platform::QtTimers::instance().singleShot(delay, std::move(action));
    }
    std::unique_ptr<Platform::TimerHandle> repeating(std::chrono::milliseconds interval,
                                                     std::function<void()> action) override
    {
        auto since = std::make_shared<QElapsedTimer>();
        since->start();
        return Platform::QtTimers::instance().repeating(
            interval, [this, interval, since, action = std::move(action)] {
                m_worstLateMs = std::max(m_worstLateMs, since->restart() - qint64(interval.count()));
                if (interval == OverlayPanelController::displayInterval)
                    ++m_displayTicks;
                action();
            });
    }
    qint64 worstLateMs() const { return m_worstLateMs; }
    int displayTicks() const { return m_displayTicks; }

private:
    qint64 m_worstLateMs = 0;
    int m_displayTicks = 0;
};

QByteArray turn(int n)
{
    return "{\"type\":\"assistant\",\"message\":{\"id\":\"h" + QByteArray::number(n) +
           "\",\"model\":\"claude-opus-4-1\",\"usage\":{\"input_tokens\":10,"
           "\"cache_creation_input_tokens\":200,\"cache_read_input_tokens\":" +
           QByteArray::number(100000 * n) + ",\"output_tokens\":40}}}\n";
}

} // namespace

class TestOverlayHostilePeers : public QObject
{
    Q_OBJECT

private slots:
    void hostileGatewayLeavesTheOverlayOnTime_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("never answers") << QStringLiteral("silent");
        QTest::newRow("drips a byte a second") << QStringLiteral("drip");
        QTest::newRow("endless chunked body") << QStringLiteral("endless");
        QTest::newRow("50 MiB body") << QStringLiteral("huge");
        QTest::newRow("closed mid-answer") << QStringLiteral("closed");
    }

    // About five seconds with the pill expanded and a turn written every 300 ms, so the display
    // tick, the re-target check and the count-up animation all run while the gateway misbehaves.
    void hostileGatewayLeavesTheOverlayOnTime()
    {
        QFETCH(QString, kind);
        HttpTestServer gateway;
        if (kind == QLatin1String("drip"))
            gateway.answer = HttpTestServer::stream(100, "{", 1000);
        else if (kind == QLatin1String("endless"))
            gateway.answer = HttpTestServer::stream(-1, QByteArray(65536, ' '), 1);
        else if (kind == QLatin1String("huge"))
            gateway.answer = HttpTestServer::stream(50 * 1024 * 1024, QByteArray(65536, ' '), 1);
        else if (kind == QLatin1String("closed"))
            gateway.answer = HttpTestServer::closeMidAnswer();

        QTemporaryDir home;
        const QByteArray key = "sk-hostile-" + QByteArray::number(QRandomGenerator::global()->generate64());
        QDir().mkpath(home.filePath(QStringLiteral(".config/orvane")));
        QDir().mkpath(home.filePath(QStringLiteral(".claude/projects/-home-u-app")));
        const QString configPath = gatewayConfigPath(home.path());
        QFile config(configPath);
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("{\"gateway_base_url\":\"" + gateway.url().toUtf8() + "\",\"api_key\":\"" +
                     key + "\"}");
        config.close();
        QFile transcript(home.filePath(QStringLiteral(".claude/projects/-home-u-app/t.jsonl")));
        QVERIFY(transcript.open(QIODevice::WriteOnly));
        transcript.write(turn(1));
        transcript.flush();

        ClaudeInFront monitor;
        OneScreen screens;
        NoOrigin origins;
        MeasuredTimers timers;
        Usage::TranscriptIndex transcripts(home.path());
        OverlayPanelController controller(OverlayPanelController::Seams{
            .monitor = monitor, .screens = screens, .origins = origins,
            .clock = Platform::SystemClock::instance(), .timers = timers,
            .transcripts = transcripts, .homeDirectory = home.path(), .executableName = {},
            .makePanel = [](OverlayState &) { return std::make_unique<QuietPanel>(); }});
        controller.start();
        controller.toggle();

        QElapsedTimer elapsed;
        elapsed.start();
        int written = 1;
        std::optional<qint64> unavailableAt;
        while (elapsed.elapsed() < 5000) {
            QTest::qWait(300);
            transcript.write(turn(++written));
            transcript.flush();
            if (!unavailableAt && controller.state().detail() == u"Gateway unavailable")
                unavailableAt = elapsed.elapsed();
        }
        qInfo("%s: worst timer lateness %lld ms, %d display ticks, unavailable after %lld ms",
              qPrintable(kind), static_cast<long long>(timers.worstLateMs()),
              timers.displayTicks(), static_cast<long long>(unavailableAt.value_or(-1)));
        QVERIFY(!gateway.requests.isEmpty());
        QVERIFY2(unavailableAt && *unavailableAt <= GatewayStatusClient::deadline.count() + 1500,
                 qPrintable(QString::number(unavailableAt.value_or(-1))));
        QVERIFY(!controller.state().connected());
        // A stall of the main thread would show as a late tick; a busy shared machine may add a
        // little.
        QVERIFY2(timers.worstLateMs() < 400, qPrintable(QString::number(timers.worstLateMs())));
        QVERIFY2(timers.displayTicks() >= 4, qPrintable(QString::number(timers.displayTicks())));
        // The counters kept following the transcript meanwhile.
        QTRY_COMPARE(controller.state().usage().value_or(Usage::TokenUsage{}).cacheRead,
                     std::int64_t(100000) * written * (written + 1) / 2);

        // The key went out in the request and is kept nowhere but the configuration file.
        QDirIterator files(home.path(), QDir::Files | QDir::Hidden | QDir::System,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString file = files.next();
            if (file == configPath)
                continue;
            QFile read(file);
            QVERIFY(read.open(QIODevice::ReadOnly));
            QVERIFY2(!read.readAll().contains(key), qPrintable(file));
        }
    }
};

QTEST_GUILESS_MAIN(TestOverlayHostilePeers)
#include "tst_overlayhostilepeers.moc"

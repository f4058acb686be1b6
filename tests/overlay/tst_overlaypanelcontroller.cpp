// The overlay controller with its seams replaced: a scripted active window, screens, origin
// store, clock and timers, a panel that records what it is told; real transcripts in a
// temporary home, the inotify index (or the walk, which reports no changes), and a gateway on
// loopback.
#include "gateway/GatewayStatusClient.h"
#include "overlay/OverlayPanelController.h"
#include "overlay/Panel.h"
#include "overlay/SettingsOriginStore.h"
#include "platform/ActiveWindowMonitor.h"
#include "platform/Screens.h"
#include "support/HttpTestServer.h"
#include "support/ManualTimers.h"
#include "support/OverlayStandIns.h"
#include "usage/TranscriptHome.h"
#include "usage/TranscriptIndex.h"
#include "usage/TranscriptWalk.h"

#include <QDir>
#include <QSettings>
#include <QtTest/QTest>

using namespace Overlay;
using namespace std::chrono_literals;

namespace {

using StandIns::FixedScreens;
using StandIns::RecordingPanel;
using StandIns::ScriptedMonitor;
using StandIns::window;

const QString statusPath =
    QStringLiteral("/v1/orv/statusline?harness=claude-code&surface=claude-desktop");

// One controller over a temporary home; the gateway answers on loopback.
struct Rig
{
    TranscriptHome home;
    HttpTestServer gateway;
    ScriptedMonitor monitor;
    FixedScreens screens;
    StandIns::MemoryOrigins origins;
    ManualClock clock;
    ManualTimers timers{clock};
    std::unique_ptr<Usage::TranscriptSource> transcripts;
    std::map<std::int64_t, QString> programs; // pid -> program name
    RecordingPanel *panel = nullptr;
    std::unique_ptr<OverlayPanelController> controller;

    // Over the inotify index, as in the application, or else over the walk.
    explicit Rig(bool configured = true, bool indexed = true)
    {
        if (indexed)
            transcripts = std::make_unique<Usage::TranscriptIndex>(home.path());
        else
            transcripts = std::make_unique<Usage::TranscriptWalk>(home.path());
        if (configured)
            writeFile(home.filePath(QStringLiteral(".config/orvane/config.json")),
                      "{\"gateway_base_url\":\"" + gateway.url().toUtf8()
                          + "\",\"api_key\":\"k\"}");
    }
    OverlayPanelController &make()
    {
        controller = std::make_unique<OverlayPanelController>(OverlayPanelController::Seams{
            .monitor = monitor, .screens = screens, .origins = origins, .clock = clock,
            .timers = timers, .transcripts = *transcripts, .homeDirectory = home.path(),
            .executableName = [this](std::int64_t pid) { return programs[pid]; },
            .makePanel = [this](OverlayState &) {
                auto made = std::make_unique<RecordingPanel>();
                panel = made.get();
                return made;
            }});
        return *controller;
    }
    const OverlaySnapshot &state() { return controller->state().snapshot(); }
    QString transcript(const QString &name) const
    {
        return home.filePath(QStringLiteral(".claude/projects/-home-u-app/") + name);
    }
    // Moves simulated time on and lets the loop deliver what the kernel and the gateway sent.
    void wait(std::chrono::milliseconds by)
    {
        timers.advance(by);
        QCoreApplication::processEvents();
    }
};

} // namespace

class TestOverlayPanelController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void visibilityFollowsTheActiveWindowsIdentity_data()
    {
        QTest::addColumn<Platform::ActiveWindow>("active");
        QTest::addColumn<QString>("program"); // behind pid 4242
        QTest::addColumn<QString>("harness"); // empty: hidden
        const auto row = [](const char *name, Platform::ActiveWindow active, const char *harness,
                            const char *program = "") {
            QTest::newRow(name) << active << QString::fromLatin1(program)
                                << QString::fromLatin1(harness);
        };
        for (const char *id : {"com.anthropic.claude", "com.anthropic.claudefordesktop",
                               "claude-desktop", "claude"})
            row(id, window(QString::fromLatin1(id), QStringLiteral("Electron")), "claude-code");
        for (const char *id : {"com.openai.codex", "codex-desktop", "codex", "chatgpt"})
            row(id, window(QStringLiteral("electron"), QString::fromLatin1(id)), "codex");
        row("class in other case", window(QStringLiteral("x"), QStringLiteral("Claude")), "claude-code");
        Platform::ActiveWindow native = window({}, {}, {}, QStringLiteral("com.anthropic.Claude"));
        native.x11Window = 0; // a native Wayland window: above no X11 window
        row("application id", native, "claude-code");
        row("program claude-desktop", window({}, {}, 4242), "claude-code", "claude-desktop");
        row("program ChatGPT", window(QStringLiteral("a"), QStringLiteral("b"), 4242), "codex",
            "ChatGPT");
        row("program codex-desktop", window({}, {}, 4242), "codex", "codex-desktop");
        row("terminal running claude", window(QStringLiteral("gnome-terminal-server"),
                                              QStringLiteral("Gnome-terminal"), 4242),
            "", "gnome-terminal-server");
        row("class near a name", window(QStringLiteral("claude-code"), QStringLiteral("Code")), "");
        row("no identity", window({}, {}), "");
    }

    void visibilityFollowsTheActiveWindowsIdentity()
    {
        QFETCH(Platform::ActiveWindow, active);
        QFETCH(QString, program);
        QFETCH(QString, harness);
        Rig rig;
        rig.programs[4242] = program;
        const QString codexPath = QStringLiteral("/v1/orv/statusline?harness=codex&surface=codex-desktop");
        rig.gateway.routes[statusPath] = {200, R"({"label":"claude line"})"};
        rig.gateway.routes[codexPath] = {200, R"({"label":"codex line"})"};
        OverlayPanelController &controller = rig.make();
        controller.start();
        QVERIFY(rig.monitor.started);
        QVERIFY(!rig.panel->shown);
        QTRY_VERIFY(!controller.gatewayClient().isFetching());

        rig.monitor.activate(active);
        QCOMPARE(rig.panel->shown, !harness.isEmpty());
        QCOMPARE(rig.panel->over, rig.panel->shown ? active.x11Window : 0); // kept above that window
        if (harness.isEmpty()) {
            QVERIFY(!controller.activeHarness());
            return;
        }
        const bool claude = harness == QLatin1String("claude-code");
        QCOMPARE(Manifest::harnessId(controller.activeHarness()->id), harness);
        QCOMPARE(Manifest::harnessId(rig.state().harness), harness);
        QCOMPARE(rig.state().harnessLabel, claude ? QStringLiteral("Claude") : QStringLiteral("Codex"));
        QCOMPARE(rig.state().surface,
                 claude ? QStringLiteral("claude-desktop") : QStringLiteral("codex-desktop"));
        // The activation asked the gateway for this harness and surface.
        QTRY_COMPARE(rig.state().detail, claude ? QStringLiteral("claude line") : QStringLiteral("codex line"));

        // The pill's own window getting the attention changes nothing.
        Platform::ActiveWindow pill = window({}, {});
        pill.x11Window = RecordingPanel::ownId;
        rig.monitor.activate(pill);
        QVERIFY(rig.panel->shown && controller.activeHarness());

        // Another window hides it; the harness fields stay for the next showing.
        rig.monitor.activate(window(QStringLiteral("xterm"), QStringLiteral("XTerm")));
        QVERIFY(!rig.panel->shown);
        QVERIFY(!controller.activeHarness());
        QCOMPARE(Manifest::harnessId(rig.state().harness), harness);
        rig.monitor.activate(std::nullopt);
        QVERIFY(!rig.panel->shown);
    }

    void placementAndSavedOrigin_data()
    {
        QTest::addColumn<std::optional<QRect>>("area");
        QTest::addColumn<std::optional<QPoint>>("stored");
        QTest::addColumn<QPoint>("expected");
        const QRect area(0, 27, 1280, 773);
        const QPoint standard(1280 - 318 - 22, 27 + 18);
        QTest::newRow("nothing stored") << std::optional(area) << std::optional<QPoint>() << standard;
        QTest::newRow("stored inside") << std::optional(area) << std::optional(QPoint(40, 300))
                                       << QPoint(40, 300);
        QTest::newRow("left and top edges are inside")
            << std::optional(area) << std::optional(QPoint(0, 27)) << QPoint(0, 27);
        QTest::newRow("right edge is outside")
            << std::optional(area) << std::optional(QPoint(1280, 300)) << standard;
        QTest::newRow("bottom edge is outside")
            << std::optional(area) << std::optional(QPoint(40, 800)) << standard;
        QTest::newRow("corner inside, most of the pill outside")
            << std::optional(area) << std::optional(QPoint(1280 - 31, 800 - 5)) << standard;
        QTest::newRow("whole pill at the bottom-right corner")
            << std::optional(area) << std::optional(QPoint(1280 - 318, 800 - 58)) << QPoint(1280 - 318, 800 - 58);
        QTest::newRow("above the usable area")
            << std::optional(area) << std::optional(QPoint(40, 10)) << standard;
        QTest::newRow("beyond a smaller screen")
            << std::optional(area) << std::optional(QPoint(5000, 5000)) << standard;
        QTest::newRow("second screen to the right")
            << std::optional(QRect(1280, 0, 1920, 1080)) << std::optional<QPoint>()
            << QPoint(1280 + 1920 - 318 - 22, 18);
        QTest::newRow("no screen: left where it was")
            << std::optional<QRect>() << std::optional(QPoint(40, 300)) << QPoint(0, 0);
    }

    void placementAndSavedOrigin()
    {
        QFETCH(std::optional<QRect>, area);
        QFETCH(std::optional<QPoint>, stored);
        QFETCH(QPoint, expected);
        Rig rig(false);
        rig.screens.area = area;
        rig.origins.stored = stored;
        rig.make().start();
        rig.monitor.activate(window(QStringLiteral("claude"), QStringLiteral("Claude")));
        QVERIFY(rig.panel->shown);
        QCOMPARE(rig.panel->rect, QRect(expected, QSize(318, 58)));
        // The screen is the one holding the active window; the placement is saved like any move.
        QCOMPARE(rig.screens.askedAt, std::optional(QPoint(100 + 399, 200 + 299)));
        QCOMPARE(rig.origins.stored, area ? std::optional(expected) : stored);
        QCOMPARE(rig.state().detail, QStringLiteral("Gateway not configured"));
    }

    void originSurvivesInSettings()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("orvane.conf"));
        {
            QSettings settings(file, QSettings::IniFormat);
            SettingsOriginStore store(settings);
            QVERIFY(!store.load());
            store.save(QPoint(-12, 345));
        }
        QSettings settings(file, QSettings::IniFormat);
        SettingsOriginStore store(settings);
        QCOMPARE(store.load(), std::optional(QPoint(-12, 345)));
        // Anything but a map of two numbers is not a place.
        for (const QVariant &bad : {QVariant(QStringLiteral("12,34")),
                                    QVariant(QVariantMap{{QStringLiteral("x"), 1}}),
                                    QVariant(QVariantMap{{QStringLiteral("x"), 1},
                                                         {QStringLiteral("y"), QStringLiteral("2")}}),
                                    QVariant(QVariantMap{{QStringLiteral("x"), 1},
                                                         {QStringLiteral("y"), qQNaN()}})}) {
            settings.setValue(QLatin1String(SettingsOriginStore::key), bad);
            QVERIFY2(!store.load(), qPrintable(bad.toString()));
        }
        settings.setValue(QLatin1String(SettingsOriginStore::key),
                          QVariantMap{{QStringLiteral("x"), 10.7}, {QStringLiteral("y"), 20}});
        QCOMPARE(store.load(), std::optional(QPoint(10, 20)));
    }

    void countersFollowTheTranscriptAndCountUp_data()
    {
        QTest::addColumn<bool>("indexed");
        QTest::newRow("index: on the change") << true;
        QTest::newRow("walk: at the next tick") << false;
    }

    void countersFollowTheTranscriptAndCountUp()
    {
        QFETCH(bool, indexed);
        Rig rig(false, indexed);
        const QString path = rig.transcript(QStringLiteral("a.jsonl"));
        writeFile(path, claudeLine("m1", 1000, 200, 30, 40));
        OverlayPanelController &controller = rig.make();
        controller.start();
        rig.wait(2s);
        QVERIFY(!rig.state().usage); // nothing is read while no harness is in front

        rig.monitor.activate(window(QStringLiteral("claude"), {}));
        QCOMPARE(rig.state().usage->cacheRead, 1000); // read on showing
        QVERIFY(!controller.isAnimating()); // collapsed: nothing counts up

        rig.panel->toggled();
        rig.wait(16ms); // the first reading after start is shown at once
        QCOMPARE(rig.state().displayedUsage, rig.state().usage);
        QVERIFY(!controller.isAnimating());

        writeFile(path, claudeLine("m2", 9000, 0, 0, 960), true);
        if (!indexed)
            rig.wait(1s);
        QTRY_COMPARE(rig.state().usage->cacheRead, 10000); // the index: no timer needed
        QVERIFY(controller.isAnimating());
        // Its first step at once, before any tick: new digits without waiting for one.
        QVERIFY(rig.state().displayedUsage->cacheRead > 1000);
        rig.wait(500ms);
        const std::int64_t midway = rig.state().displayedUsage->cacheRead;
        QVERIFY2(midway > 1000 && midway < 10000, QByteArray::number(qint64(midway)).constData());
        rig.wait(1500ms); // every count-up ends within about 1.82 s
        QCOMPARE(rig.state().displayedUsage, rig.state().usage);
        QVERIFY(!controller.isAnimating());
        QCOMPARE(rig.timers.pendingCount(), 2); // poll and display only
        // Without a transcript the counters known so far stay.
        QVERIFY(QFile::remove(path));
        rig.wait(1s);
        QCOMPARE(rig.state().usage.value_or(Usage::TokenUsage{}).cacheRead, 10000);
    }

    // The expanded pill grows by one row per quota window of the Codex transcript, and by nothing
    // for Claude or for a Codex transcript without them.
    void quotaRowsGrowTheExpandedPill()
    {
        Rig rig(false);
        const QString codex = rig.home.filePath(QStringLiteral(".codex/sessions/r.jsonl"));
        writeFile(codex, codexLine(1, 0, 2, 3, 0, 1000, 2));
        writeFile(rig.transcript(QStringLiteral("s.jsonl")), claudeLine("c", 1, 1, 1, 1));
        rig.make().start();
        rig.monitor.activate(window(QStringLiteral("codex"), {}));
        rig.panel->toggled();
        const auto height = [&] { return rig.panel->rect.height(); };
        QCOMPARE(height(), 188);
        const auto limits = [](const char *windows) -> QByteArray {
            return QByteArray(R"({"payload":{"type":"token_count","info":null,"rate_limits":{"primary":{"used_percent":5,"window_minutes":300})") +
                   windows + "}}}\n";
        };
        writeFile(codex, limits(""), true);
        QTRY_COMPARE(height(), 188 + 28);
        writeFile(codex, limits(R"(,"secondary":{"used_percent":50,"window_minutes":10080})"), true);
        QTRY_COMPARE(height(), 188 + 56);
        rig.panel->toggled();
        QCOMPARE(height(), 58);
        rig.panel->toggled();
        QCOMPARE(height(), 188 + 56);
        rig.monitor.activate(window(QStringLiteral("claude"), {}));
        QTRY_COMPARE(height(), 188);
    }

    void newConversationResetsAndWaitsForItsFirstTurn()
    {
        Rig rig;
        rig.gateway.routes[statusPath] = {
            200, R"({"model_display_name":"Opus","auth_mode":"oauth","savings_pct":38,"asks_open":2,
                     "cache_expires_at":4102444800})"};
        writeFile(rig.transcript(QStringLiteral("a.jsonl")), claudeLine("m1", 5, 5, 5, 5));
        OverlayPanelController &controller = rig.make();
        controller.start();
        rig.monitor.activate(window(QStringLiteral("claude"), {}));
        QTRY_COMPARE(rig.state().detail, QStringLiteral("orv (oauth)"));
        QVERIFY(rig.state().usage);

        const QString fresh = rig.transcript(QStringLiteral("b.jsonl"));
        writeFileAt(fresh, QDateTime::currentSecsSinceEpoch() + 5, {});
        rig.wait(1s);
        const OverlaySnapshot &state = rig.state();
        QCOMPARE(state.detail, QStringLiteral("Waiting for first turn\u2026"));
        QCOMPARE(controller.state().statusLine(),
                 QStringLiteral("Claude \u00b7 Waiting for first turn\u2026"));
        QCOMPARE(state.model, QStringLiteral("Orvane"));
        QVERIFY(!state.cacheExpiresAt && !state.savingsPct && !state.displayedUsage);
        QCOMPARE(state.usage, std::optional(Usage::TokenUsage{})); // the new, empty file's
        QCOMPARE(state.asksOpen, 0);

        // The gateway's answers are ignored until the first turn.
        rig.wait(15s);
        QTRY_VERIFY(!controller.gatewayClient().isFetching());
        QCOMPARE(state.detail, QStringLiteral("Waiting for first turn\u2026"));

        writeFile(fresh, claudeLine("n1", 1, 2, 3, 4), true);
        QTRY_COMPARE(state.usage->output, 4); // counted afresh, not on top of the old file
        rig.wait(1s); // grown: ready, and the status line comes back
        QTRY_COMPARE(state.detail, QStringLiteral("orv (oauth)"));
        QCOMPARE(state.asksOpen, 2);
    }
};

QTEST_GUILESS_MAIN(TestOverlayPanelController)
#include "tst_overlaypanelcontroller.moc"

// The overlay controller over stand-ins for the desktop, a manual clock and timers, real
// transcripts in a temporary home (the inotify index or the walk) and a gateway on loopback.
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
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using namespace StandIns;

namespace {

const QString statusPath = u"/v1/orv/statusline?harness=claude-code&surface=claude-desktop"_s;

// One controller over a temporary home; the gateway answers on loopback.
struct Rig
{
    TranscriptHome home;
    HttpTestServer gateway;
    ScriptedMonitor monitor;
    FixedScreens screens;
    MemoryOrigins origins;
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
            writeFile(home.filePath(u".config/orvane/config.json"_s),
                      R"({"api_key":"k","gateway_base_url":")" + gateway.url().toUtf8() + "\"}");
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
        return home.filePath(u".claude/projects/-home-u-app/"_s + name);
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
    // By either WM_CLASS field or the application id, in any case; else by the program behind
    // the window. A terminal running the command-line tools is no harness.
    void harnessForWindow_data()
    {
        QTest::addColumn<Platform::ActiveWindow>("active");
        QTest::addColumn<QString>("program"); // behind pid 4242
        QTest::addColumn<QString>("harness"); // empty: none
        const auto row = [](const char *name, Platform::ActiveWindow active, const char *harness,
                            const char *program = "") {
            QTest::newRow(name) << active << QString::fromLatin1(program)
                                << QString::fromLatin1(harness);
        };
        row("instance", window(u"com.anthropic.claudefordesktop"_s, u"Electron"_s), "claude-code");
        row("class in other case", window(u"electron"_s, u"ChatGPT"_s), "codex");
        row("application id", window({}, {}, {}, u"com.anthropic.Claude"_s), "claude-code");
        row("program", window(u"a"_s, u"b"_s, 4242), "codex", "chatgpt");
        row("terminal running claude", window(u"xterm"_s, u"XTerm"_s, 4242), "", "xterm");
        row("class near a name", window(u"claude-code"_s, u"Code"_s), "");
    }
    void harnessForWindow()
    {
        QFETCH(Platform::ActiveWindow, active);
        QFETCH(QString, program);
        const auto found = DesktopHarness::forWindow(
            active, [&](std::int64_t pid) { return pid == 4242 ? program : QString(); });
        QTEST(found ? Manifest::harnessId(found->id) : QString(), "harness");
    }

    // Shown over a harness's window with its fields, asking its gateway; the pill's own window
    // changes nothing; another window, or none, hides it and the fields stay for the next showing.
    void followsTheActiveWindow()
    {
        Rig rig;
        rig.programs[4242] = u"claude-desktop"_s;
        rig.gateway.routes[statusPath] = {200, R"({"label":"claude line"})"};
        rig.gateway.routes[u"/v1/orv/statusline?harness=codex&surface=codex-desktop"_s] = {
            200, R"({"label":"codex line"})"};
        OverlayPanelController &controller = rig.make();
        controller.start();
        QVERIFY(rig.monitor.started && !rig.panel->shown);
        QTRY_COMPARE(rig.state().detail, u"claude line"_s); // for the fields' first harness

        Platform::ActiveWindow codex = window(u"codex"_s, {});
        codex.x11Window = 0x400002;
        rig.monitor.activate(codex);
        QVERIFY(rig.panel->shown);
        QCOMPARE(rig.panel->over, codex.x11Window);        // kept above that window
        QTRY_COMPARE(rig.state().detail, u"codex line"_s); // asked for its harness and surface
        rig.monitor.activate(std::nullopt);
        QVERIFY(!rig.panel->shown && !controller.activeHarness());
        QCOMPARE(rig.state().harnessLabel, u"Codex"_s);

        rig.monitor.activate(window({}, {}, 4242));
        QCOMPARE(rig.state().harnessLabel, u"Claude"_s);
        QTRY_COMPARE(rig.state().detail, u"claude line"_s);
        Platform::ActiveWindow pill = window({}, {});
        pill.x11Window = RecordingPanel::ownId;
        rig.monitor.activate(pill);
        QVERIFY(rig.panel->shown && controller.activeHarness());
        rig.monitor.activate(window(u"xterm"_s, u"XTerm"_s));
        QVERIFY(!rig.panel->shown && !controller.activeHarness());
    }

    // A stored place is kept while the whole pill fits the work area (its edges are QRect's) of
    // the active window's screen; the placement is saved like any move.
    void placementAndSavedOrigin_data()
    {
        QTest::addColumn<std::optional<QRect>>("area");
        QTest::addColumn<std::optional<QPoint>>("stored");
        QTest::addColumn<QPoint>("expected");
        const auto row = [](const char *name, std::optional<QRect> area,
                            std::optional<QPoint> stored,
                            QPoint expected) { QTest::newRow(name) << area << stored << expected; };
        const QRect area(0, 27, 1280, 773);
        const QPoint standard(1280 - 318 - 22, 27 + 18), corner(1280 - 318, 800 - 58);
        row("nothing stored", area, {}, standard);
        row("stored inside", area, QPoint(40, 300), QPoint(40, 300));
        row("corner inside, most of the pill outside", area, QPoint(1280 - 31, 800 - 5), standard);
        row("whole pill at the bottom-right corner", area, corner, corner);
        row("second screen to the right", QRect(1280, 0, 1920, 1080), {},
            QPoint(1280 + 1920 - 318 - 22, 18));
        row("no screen: left where it was", {}, QPoint(40, 300), QPoint(0, 0));
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
        rig.monitor.activate(claude());
        QCOMPARE(rig.panel->rect, QRect(expected, QSize(318, 58)));
        QCOMPARE(rig.screens.askedAt, std::optional(QPoint(100 + 399, 200 + 299)));
        QCOMPARE(rig.origins.stored, area ? std::optional(expected) : stored);
    }

    void originSurvivesInSettings()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(u"orvane.conf"_s);
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
        for (const QVariant &bad : {QVariant(u"12,34"_s), QVariant(QVariantMap{{u"x"_s, 1}}),
                                    QVariant(QVariantMap{{u"x"_s, 1}, {u"y"_s, u"2"_s}}),
                                    QVariant(QVariantMap{{u"x"_s, 1}, {u"y"_s, qQNaN()}})}) {
            settings.setValue(QLatin1String(SettingsOriginStore::key), bad);
            QVERIFY2(!store.load(), qPrintable(bad.toString()));
        }
        settings.setValue(QLatin1String(SettingsOriginStore::key),
                          QVariantMap{{u"x"_s, 10.7}, {u"y"_s, 20}});
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
        const QString path = rig.transcript(u"a.jsonl"_s);
        writeFile(path, claudeLine("m1", 1000, 200, 30, 40));
        OverlayPanelController &controller = rig.make();
        controller.start();
        rig.wait(2s);
        QVERIFY(!rig.state().usage); // nothing is read while no harness is in front

        rig.monitor.activate(window(u"claude"_s, {}));
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
        const QString codex = rig.home.filePath(u".codex/sessions/r.jsonl"_s);
        writeFile(codex, codexLine(1, 0, 2, 3, 0, 1000, 2));
        writeFile(rig.transcript(u"s.jsonl"_s), claudeLine("c", 1, 1, 1, 1));
        rig.make().start();
        rig.monitor.activate(window(u"codex"_s, {}));
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
        rig.monitor.activate(window(u"claude"_s, {}));
        QTRY_COMPARE(height(), 188);
    }

    void newConversationResetsAndWaitsForItsFirstTurn()
    {
        Rig rig;
        rig.gateway.routes[statusPath] = {
            200, R"({"model_display_name":"Opus","auth_mode":"oauth","savings_pct":38,"asks_open":2,
                     "cache_expires_at":4102444800})"};
        writeFile(rig.transcript(u"a.jsonl"_s), claudeLine("m1", 5, 5, 5, 5));
        OverlayPanelController &controller = rig.make();
        controller.start();
        rig.monitor.activate(window(u"claude"_s, {}));
        QTRY_COMPARE(rig.state().detail, u"orv (oauth)"_s);
        QVERIFY(rig.state().usage);

        const QString fresh = rig.transcript(u"b.jsonl"_s);
        writeFileAt(fresh, QDateTime::currentSecsSinceEpoch() + 5, {});
        rig.wait(1s);
        const OverlaySnapshot &state = rig.state();
        QCOMPARE(state.detail, u"Waiting for first turn\u2026"_s);
        QCOMPARE(state.model, u"Orvane"_s);
        QVERIFY(!state.cacheExpiresAt && !state.savingsPct && !state.displayedUsage);
        QCOMPARE(state.usage, std::optional(Usage::TokenUsage{})); // the new, empty file's
        QCOMPARE(state.asksOpen, 0);

        // The gateway's answers are ignored until the first turn.
        rig.wait(15s);
        QTRY_VERIFY(!controller.gatewayClient().isFetching());
        QCOMPARE(state.detail, u"Waiting for first turn\u2026"_s);

        writeFile(fresh, claudeLine("n1", 1, 2, 3, 4), true);
        QTRY_COMPARE(state.usage->output, 4); // counted afresh, not on top of the old file
        rig.wait(1s); // grown: ready, and the status line comes back
        QTRY_COMPARE(state.detail, u"orv (oauth)"_s);
        QCOMPARE(state.asksOpen, 2);
    }
};

QTEST_GUILESS_MAIN(TestOverlayPanelController)
#include "tst_overlaypanelcontroller.moc"

#include "overlay/GatewayFields.h"
#include "overlay/OverlayState.h"
#include "overlay/OverlayTexts.h"
#include "support/ManualClock.h"

#include <QSignalSpy>
#include <QTimeZone>
#include <QTest>

#include <cmath>
#include <limits>

using namespace Overlay;

using OptionalDouble = std::optional<double>;
Q_DECLARE_METATYPE(OptionalDouble)
Q_DECLARE_METATYPE(Gateway::StatusResult)

namespace {
const QString dot = QStringLiteral(" \u00B7 ");
const QString fire = QStringLiteral("\U0001F525 ");
const QString cold = QStringLiteral("\u2744\uFE0F cold");
} // namespace

class OverlayTextsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Zero, negative and undefined expiries mean none, whatever the time (each would be ahead of
    // this moment): the detail shows instead.
    void warmthWithoutExpiry()
    {
        for (const double expiresAt : {0.0, -5.0, std::nan("")})
            QCOMPARE(warmthText(expiresAt, -100.0), QString());
    }

    void format_data()
    {
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << qint64(0) << QStringLiteral("0");
        QTest::newRow("999") << qint64(999) << QStringLiteral("999");
        QTest::newRow("1000") << qint64(1000) << QStringLiteral("1.0k");
        QTest::newRow("1250 rounds half to even") << qint64(1250) << QStringLiteral("1.2k");
        QTest::newRow("1350 rounds half to even") << qint64(1350) << QStringLiteral("1.4k");
        QTest::newRow("12345") << qint64(12345) << QStringLiteral("12.3k");
        QTest::newRow("999,950") << qint64(999950) << QStringLiteral("1000.0k");
        QTest::newRow("1,000,000") << qint64(1000000) << QStringLiteral("1.0M");
        QTest::newRow("-5") << qint64(-5) << QStringLiteral("-5");
        QTest::newRow("-123456") << qint64(-123456) << QStringLiteral("-123456");
        QTest::newRow("largest") << std::numeric_limits<qint64>::max()
                                 << QStringLiteral("9223372036854.8M");
    }
    void format()
    {
        QFETCH(qint64, count);
        QFETCH(QString, text);
        QCOMPARE(OverlayState::format(count), text);
    }

    // The whole header line, built from the state's own fields; the countdown to the cache's
    // expiry (whole seconds left, cold below one) hides the detail.
    void statusLine_data()
    {
        QTest::addColumn<OptionalDouble>("ahead");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<OptionalDouble>("savings");
        QTest::addColumn<qint64>("asks");
        QTest::addColumn<qint64>("answers");
        QTest::addColumn<QString>("line");
        const QString connected = QStringLiteral("Connected");
        // The line after "Claude · ".
        const auto row = [](const char *name, OptionalDouble ahead, const QString &detail,
                            OptionalDouble savings, qint64 asks, qint64 answers, const QString &line) {
            QTest::newRow(name) << ahead << detail << savings << asks << answers
                                << QStringLiteral("Claude") + line;
        };
        const OptionalDouble none;
        // clang-format off
        row("initial", none, QStringLiteral("Connecting to gateway\u2026"), none, 0, 0, dot + QStringLiteral("Connecting to gateway\u2026"));
        row("expiry hides the detail", 272.5, connected, 38.0, 2, 1, dot + fire + QStringLiteral("4:32") + dot + QStringLiteral("38% saved") + dot + QStringLiteral("\U0001F4E8 2 \U0001F4EC 1"));
        row("12.5 rounds to even", none, connected, 12.5, 0, 0, dot + connected + dot + QStringLiteral("12% saved"));
        row("13.5 rounds to even", none, connected, 13.5, 0, 0, dot + connected + dot + QStringLiteral("14% saved"));
        row("99.6", none, connected, 99.6, 0, 0, dot + connected + dot + QStringLiteral("100% saved"));
        row("answers only", none, connected, none, 0, 3, dot + connected + dot + QStringLiteral("\U0001F4EC 3"));
        row("asks only", none, connected, none, 3, 0, dot + connected + dot + QStringLiteral("\U0001F4E8 3"));
        row("negative counters", none, connected, none, -1, -7, dot + connected);
        row("empty detail", none, QString(), none, 0, 0, QString());
        row("0.5 s ahead", 0.5, connected, none, 0, 0, dot + cold);
        row("exactly 1 s ahead", 1.0, connected, none, 0, 0, dot + fire + QStringLiteral("0:01"));
        row("59.99 s ahead", 59.99, connected, none, 0, 0, dot + fire + QStringLiteral("0:59"));
        row("7200 s ahead", 7200.0, connected, none, 0, 0, dot + fire + QStringLiteral("120:00"));
        row("too far for 64 bits", 1e300, connected, none, 0, 0, dot + connected);
        // clang-format on
    }
    void statusLine()
    {
        QFETCH(OptionalDouble, ahead);
        QFETCH(QString, detail);
        QFETCH(OptionalDouble, savings);
        QFETCH(qint64, asks);
        QFETCH(qint64, answers);
        QFETCH(QString, line);
        ManualClock clock;
        OverlayState state(clock);
        state.update([&](OverlaySnapshot &fields) {
            if (ahead)
                fields.cacheExpiresAt = secondsSinceEpoch(clock.now()) + *ahead;
            fields.detail = detail;
            fields.savingsPct = savings;
            fields.asksOpen = asks;
            fields.answersFresh = answers;
        });
        QCOMPARE(state.statusLine(), line);
    }

    void contextValue_data()
    {
        QTest::addColumn<qint64>("used");
        QTest::addColumn<qint64>("window"); // -1: absent
        QTest::addColumn<QString>("text");
        QTest::newRow("22%") << qint64(45200) << qint64(200000)
                             << QStringLiteral("45.2k \u00B7 22%");
        QTest::newRow("truncated, not rounded")
            << qint64(1999) << qint64(2000) << QStringLiteral("2.0k \u00B7 99%");
        QTest::newRow("capped at 100%")
            << qint64(300000) << qint64(200000) << QStringLiteral("300.0k \u00B7 100%");
        QTest::newRow("no window") << qint64(512) << qint64(-1) << QStringLiteral("512");
        QTest::newRow("window 0") << qint64(512) << qint64(0) << QStringLiteral("512");
    }
    void contextValue()
    {
        QFETCH(qint64, used);
        QFETCH(qint64, window);
        QFETCH(QString, text);
        Usage::TokenUsage usage;
        usage.contextUsed = used;
        if (window >= 0)
            usage.contextWindow = window;
        QCOMPARE(contextValueText(usage), text);
    }

    // A quota row: the window's name, the share used and when it resets, in local time (the
    // test runs in UTC+2 for that): today the time, within six days the weekday, later the date.
    void quotaRow_data()
    {
        QTest::addColumn<qint64>("minutes");
        QTest::addColumn<double>("percent");
        QTest::addColumn<qint64>("resetsIn"); // seconds from now; -1: no reset time
        QTest::addColumn<QString>("text");
        // Now: Friday 2026-01-09 10:00 in UTC+2.
        QTest::newRow("5 h, later today") << qint64(300) << 37.9 << qint64(4 * 3600 + 1200)
                                         << QStringLiteral("5 h: 37% \u00B7 resets 14:20");
        QTest::newRow("week, in four days") << qint64(10080) << 91.0 << qint64(4 * 86400)
                                           << QStringLiteral("Week: 91% \u00B7 resets Tue");
        QTest::newRow("after midnight is tomorrow") << qint64(1440) << 5.0 << qint64(14 * 3600 + 60)
                                                    << QStringLiteral("Day: 5% \u00B7 resets Sat");
        QTest::newRow("a week ahead: the date") << qint64(43200) << 0.0 << qint64(7 * 86400)
                                               << QStringLiteral("30 d: 0% \u00B7 resets 16 Jan");
        QTest::newRow("passed, or none: the share only") << qint64(90) << 100.0 << qint64(0)
                                                        << QStringLiteral("90 min: 100%");
        QTest::newRow("hours") << qint64(120) << 12.5 << qint64(-1) << QStringLiteral("2 h: 12%");
    }
    void quotaRow()
    {
        QFETCH(qint64, minutes);
        QFETCH(double, percent);
        QFETCH(qint64, resetsIn);
        QFETCH(QString, text);
        const QDateTime now(QDate(2026, 1, 9), QTime(10, 0), QTimeZone(2 * 3600));
        const std::optional<std::int64_t> resetsAt =
            resetsIn < 0 ? std::nullopt : std::optional(now.toSecsSinceEpoch() + resetsIn);
        QCOMPARE(quotaWindowLabel(minutes) + u": " + quotaValueText(percent, resetsAt, now), text);
    }

    // What a status request's outcome shows, over an earlier answer: an answer replaces all of
    // it, a failure only the connection and the detail, a URL that could not be formed nothing.
    void gatewayFields_data()
    {
        using Gateway::GatewayStatus;
        using Gateway::StatusFailure;
        QTest::addColumn<Gateway::StatusResult>("result");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("model");
        QTest::addColumn<OptionalDouble>("savings"); // the expiry and the counters go with it
        const auto row = [](const char *name, const Gateway::StatusResult &result, bool connected,
                            const char *detail, const char *model, OptionalDouble savings) {
            QTest::newRow(name) << result << connected << QString::fromUtf8(detail)
                                << QString::fromUtf8(model) << savings;
        };
        const QString s4 = QStringLiteral("s-4");
        // clang-format off
        row("auth mode before label, display name before model", GatewayStatus{QStringLiteral("Sonnet"), s4, QStringLiteral("L"), QStringLiteral("oauth"), 9.0, 38.2, 9, 9}, true, "orv (oauth)", "Sonnet", 38.2);
        row("label, model id", GatewayStatus{{}, s4, QStringLiteral("Routing to plan"), {}, {}, {}, {}, {}}, true, "Routing to plan", "s-4", {});
        row("nothing", GatewayStatus{}, true, "Connected", "Orvane", {});
        row("unavailable", std::unexpected(StatusFailure::Unavailable), false, "Gateway unavailable", "Earlier", 50.0);
        row("not configured", std::unexpected(StatusFailure::NotConfigured), false, "Gateway not configured", "Earlier", 50.0);
        row("no URL", std::unexpected(StatusFailure::NoUrl), true, "Earlier", "Earlier", 50.0);
        // clang-format on
    }
    void gatewayFields()
    {
        QFETCH(Gateway::StatusResult, result);
        OverlaySnapshot fields;
        fields.connected = true;
        fields.model = fields.detail = QStringLiteral("Earlier");
        fields.cacheExpiresAt = fields.savingsPct = 50.0;
        fields.asksOpen = fields.answersFresh = 5;
        showGatewayResult(fields, result);
        QTEST(fields.connected, "connected");
        QTEST(fields.detail, "detail");
        QTEST(fields.model, "model");
        QTEST(fields.savingsPct, "savings");
        const bool kept = fields.savingsPct == 50.0;
        QCOMPARE(fields.cacheExpiresAt, kept ? OptionalDouble(50.0) : result->cacheExpiresAt);
        QCOMPARE(fields.asksOpen, kept ? 5 : result->asksOpen.value_or(0));
        QCOMPARE(fields.answersFresh, kept ? 5 : result->answersFresh.value_or(0));
    }

    // changed() once per write (however many fields, equal values included) and alone for the
    // explicit notification; the counters shown while counting up.
    void notifications()
    {
        OverlayState state;
        const OverlaySnapshot &fields = state.snapshot();
        QVERIFY(!state.shownUsage());

        const auto reading = [](std::int64_t cacheRead) {
            Usage::TokenUsage usage;
            usage.cacheRead = cacheRead;
            return usage;
        };
        QSignalSpy changed(&state, &OverlayState::changed);
        state.update([](OverlaySnapshot &) {});
        state.update([&](OverlaySnapshot &f) {
            f.detail = QStringLiteral("Connected");
            f.usage = reading(5);
        });
        state.notifyChanged();
        QCOMPARE(changed.count(), 3);
        QCOMPARE(fields.detail, QStringLiteral("Connected"));

        QCOMPARE(state.shownUsage()->cacheRead, 5);
        state.update([&](OverlaySnapshot &f) { f.displayedUsage = reading(2); });
        QCOMPARE(state.shownUsage()->cacheRead, 2);
        state.update([](OverlaySnapshot &f) { f.displayedUsage.reset(); });
        QCOMPARE(state.shownUsage()->cacheRead, 5);
    }
};

QTEST_GUILESS_MAIN(OverlayTextsTest)
#include "tst_overlaytexts.moc"

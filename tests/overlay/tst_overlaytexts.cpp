// What the pill shows, headless: its texts, the state's fields, the counters' count-up and the
// context warnings.
#include "overlay/ContextWarnings.h"
#include "overlay/CountUpAnimator.h"
#include "overlay/GatewayFields.h"
#include "overlay/OverlayState.h"
#include "overlay/OverlayTexts.h"
#include "support/ManualClock.h"
#include "support/RecordingNotifier.h"

#include <QSignalSpy>
#include <QTimeZone>
#include <QTest>

#include <cmath>
#include <limits>

using namespace Overlay;
using namespace Qt::StringLiterals;

using OptionalDouble = std::optional<double>;
Q_DECLARE_METATYPE(OptionalDouble)
Q_DECLARE_METATYPE(Gateway::StatusResult)

// One step of the context warnings: the conversation (a transcript path) and its context fraction.
using Step = std::pair<QByteArray, std::optional<double>>;

namespace {
const QString dot = u" \u00B7 "_s;
const QString fire = u"\U0001F525 "_s;
const QString cold = u"\u2744\uFE0F cold"_s;
const QString key = u"output"_s;
constexpr double tick = CountUpAnimator::tickInterval;

// An animator that has shown `from` and then been asked for `to`, without a step yet.
CountUpAnimator shown(std::int64_t from)
{
    CountUpAnimator animator;
    animator.advance({{key, from}}, tick);
    return animator;
}
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
        QTest::newRow("999") << qint64(999) << u"999"_s;
        QTest::newRow("1000") << qint64(1000) << u"1.0k"_s;
        QTest::newRow("1250 rounds half to even") << qint64(1250) << u"1.2k"_s;
        QTest::newRow("999,999") << qint64(999999) << u"1000.0k"_s;
        QTest::newRow("1,000,000") << qint64(1000000) << u"1.0M"_s;
        QTest::newRow("-123456") << qint64(-123456) << u"-123456"_s;
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
        const QString connected = u"Connected"_s;
        // The line after "Claude · ".
        const auto row = [](const char *name, OptionalDouble ahead, const QString &detail,
                            OptionalDouble savings, qint64 asks, qint64 answers,
                            const QString &line) {
            QTest::newRow(name) << ahead << detail << savings << asks << answers
                                << u"Claude"_s + line;
        };
        const OptionalDouble none;
        // clang-format off
        row("expiry hides the detail", 272.5, connected, 38.0, 2, 1, dot + fire + u"4:32"_s + dot + u"38% saved"_s + dot + u"\U0001F4E8 2 \U0001F4EC 1"_s);
        row("12.5 rounds to even", none, connected, 12.5, 0, 0, dot + connected + dot + u"12% saved"_s);
        row("99.6", none, connected, 99.6, 0, 0, dot + connected + dot + u"100% saved"_s);
        row("answers only", none, connected, none, 0, 3, dot + connected + dot + u"\U0001F4EC 3"_s);
        row("negative counters", none, connected, none, -1, -7, dot + connected);
        row("empty detail", none, QString(), none, 0, 0, QString());
        row("0.5 s ahead", 0.5, connected, none, 0, 0, dot + cold);
        row("exactly 1 s ahead", 1.0, connected, none, 0, 0, dot + fire + u"0:01"_s);
        row("59.99 s ahead", 59.99, connected, none, 0, 0, dot + fire + u"0:59"_s);
        row("7200 s ahead", 7200.0, connected, none, 0, 0, dot + fire + u"120:00"_s);
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
        QTest::newRow("22%") << qint64(45200) << qint64(200000) << u"45.2k \u00B7 22%"_s;
        QTest::newRow("truncated, not rounded")
            << qint64(1999) << qint64(2000) << u"2.0k \u00B7 99%"_s;
        QTest::newRow("capped at 100%")
            << qint64(300000) << qint64(200000) << u"300.0k \u00B7 100%"_s;
        QTest::newRow("no window") << qint64(512) << qint64(-1) << u"512"_s;
        QTest::newRow("window 0") << qint64(512) << qint64(0) << u"512"_s;
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
        const auto row = [](const char *name, qint64 minutes, double percent, qint64 resetsIn,
                            const QString &text) {
            QTest::newRow(name) << minutes << percent << resetsIn << text;
        };
        // Now: Friday 2026-01-09 10:00 in UTC+2.
        row("5 h, later today", 300, 37.9, 4 * 3600 + 1200, u"5 h: 37% \u00B7 resets 14:20"_s);
        row("week, in four days", 10080, 91.0, 4 * 86400, u"Week: 91% \u00B7 resets Tue"_s);
        row("after midnight is tomorrow", 1440, 5.0, 14 * 3600 + 60,
            u"Day: 5% \u00B7 resets Sat"_s);
        row("a week ahead: the date", 43200, 0.0, 7 * 86400, u"30 d: 0% \u00B7 resets 16 Jan"_s);
        row("passed, or none: the share only", 90, 100.0, 0, u"90 min: 100%"_s);
        row("hours", 120, 12.5, -1, u"2 h: 12%"_s);
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
        // clang-format off
        row("auth mode before label, display name before model", GatewayStatus{u"Sonnet"_s, u"s-4"_s, u"L"_s, u"oauth"_s, 9.0, 38.2, 9, 9}, true, "orv (oauth)", "Sonnet", 38.2);
        row("label, model id", GatewayStatus{{}, u"s-4"_s, u"Routing to plan"_s, {}, {}, {}, {}, {}}, true, "Routing to plan", "s-4", {});
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
        fields.model = fields.detail = u"Earlier"_s;
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
    // explicit notification; the counters shown while counting up win over the true ones.
    void notifications()
    {
        OverlayState state;
        QVERIFY(!state.shownUsage());
        QSignalSpy changed(&state, &OverlayState::changed);
        state.update([](OverlaySnapshot &) {});
        state.update([](OverlaySnapshot &f) {
            f.detail = u"Connected"_s;
            f.usage = Usage::TokenUsage{.cacheRead = 5, .contextWindow = {}};
        });
        state.notifyChanged();
        QCOMPARE(changed.count(), 3);
        QCOMPARE(state.snapshot().detail, u"Connected"_s);
        QCOMPARE(state.shownUsage()->cacheRead, 5);
        state.update([](OverlaySnapshot &f) { f.displayedUsage = Usage::TokenUsage{}; });
        QCOMPARE(state.shownUsage()->cacheRead, 0);
    }

    // The count-up from a shown value to a target over a list of elapsed times: each step's value.
    void countUp_data()
    {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<QList<double>>("steps");
        QTest::addColumn<QList<qint64>>("values");
        QTest::newRow("negative elapsed does not move")
            << qint64(100) << qint64(200) << QList<double>{-3.0} << QList<qint64>{100};
        QTest::newRow("not a number does not move")
            << qint64(100) << qint64(200) << QList<double>{std::nan("")} << QList<qint64>{100};
        QTest::newRow("a 5-second pause lands exactly")
            << qint64(100) << qint64(1000000) << QList<double>{tick, 5.0}
            << QList<qint64>{34817, 1000000};
        QTest::newRow("infinite elapsed lands")
            << qint64(0) << qint64(10) << QList<double>{HUGE_VAL} << QList<qint64>{10};
    }
    void countUp()
    {
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(QList<double>, steps);
        QFETCH(QList<qint64>, values);
        CountUpAnimator animator = shown(from);
        QList<qint64> seen;
        for (double elapsed : steps)
            seen << animator.advance({{key, to}}, elapsed).value(key);
        QCOMPARE(seen, values);
    }

    // At 60 steps a second the count never goes back, never passes the target and ends within
    // the minimum speed's 1/0.55 s.
    void endsPromptlyAndMonotonically_data()
    {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::newRow("100 to 200") << qint64(100) << qint64(200);
        QTest::newRow("0 to 1") << qint64(0) << qint64(1);
        QTest::newRow("0 to the largest count") << qint64(0) << std::numeric_limits<qint64>::max();
    }
    void endsPromptlyAndMonotonically()
    {
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        CountUpAnimator animator = shown(from);
        qint64 last = from;
        int step = 0;
        while (last != to && step < 200) {
            const qint64 now = animator.advance({{key, to}}, tick).value(key);
            QVERIFY2(now >= last && now <= to, qPrintable(QString::number(now)));
            last = now;
            ++step;
        }
        QCOMPARE(last, to);
        QVERIFY2(step <= 110, qPrintable(QString::number(step))); // 1/0.55 s = 109.1 steps
        // Once there it stays.
        QCOMPARE(animator.advance({{key, to}}, tick).value(key), to);
    }

    // A target of 7 approached from below shows 6 until exactly 7, never 8; a key left out is
    // forgotten and shows at once when it comes back, as every key does after a reset.
    void firstReadingAndKeys()
    {
        // Up from 0 towards 7 until the display is just below 7.
        CountUpAnimator close = shown(0);
        qint64 value = 0;
        int steps = 0;
        bool sawSix = false;
        while (value < 7 && steps < 5000) {
            value = close.advance({{key, 7}}, tick / 10).value(key);
            QVERIFY(value <= 7);
            sawSix = sawSix || value == 6;
            ++steps;
        }
        QVERIFY(sawSix);
        QCOMPARE(value, 7);
        QCOMPARE(close.advance({{key, 7}}, 1.0).value(key), 7);

        // "output" left out, then back: shown at once at its new value.
        CountUpAnimator animator = shown(4200);
        animator.advance({{u"cacheRead"_s, 7}}, tick);
        QCOMPARE(animator.advance({{key, 9000}, {u"cacheRead"_s, 7}}, tick).value(key), 9000);
        animator.reset();
        QCOMPARE(animator.advance({{key, 1}}, tick).value(key), 1);
    }

    // After a snap down the origin is the new target: the next count-up's minimum speed is
    // measured from there.
    void snapDownResetsOrigin()
    {
        CountUpAnimator animator = shown(1000);
        QCOMPARE(animator.advance({{key, 10}}, tick).value(key), 10);
        // From 10 to 11: distance 1, linear at least 0.55/s; exponential 88%/s of 1. After
        // one second: 10 + max(0.88, 0.55) = 10.88, shown 10, then 11 within the next second.
        QCOMPARE(animator.advance({{key, 11}}, 1.0).value(key), 10);
        QCOMPARE(animator.advance({{key, 11}}, 1.0).value(key), 11);
    }

    // The usage form animates the five counters and takes the context window over at once.
    void usage()
    {
        CountUpAnimator animator;
        const Usage::TokenUsage first{100, 100, 100, 100, 1000, 100};
        QCOMPARE(animator.advance(first, tick), first);
        const Usage::TokenUsage second{200, 200, 200, 200, 2000, 200};
        QCOMPARE(animator.advance(second, tick), (Usage::TokenUsage{103, 103, 103, 103, 2000, 103}));
        QCOMPARE(animator.advance(second, 2.0), second);
    }

    void contextWarnings_data()
    {
        QTest::addColumn<QVariant>("setting");
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("each threshold once per conversation, again in the next one")
            << QVariant()
            << QList<Step>{{"a", 0.5},  {"a", 0.813}, {"a", 0.85}, {"a", 0.7}, {"a", 0.86},
                           {"a", 0.95}, {"a", 0.99},  {"b", 0.3},  {"b", 0.9}, {"b", 0.91}}
            << QStringList{u"Claude · context 81 % full"_s, u"Claude · context 95 % full"_s,
                           u"Claude · context 90 % full"_s};
        QTest::newRow("a jump past both: one; no window yet counts as none reached")
            << QVariant() << QList<Step>{{"a", std::nullopt}, {"a", 0.97}, {"a", 1.0}}
            << QStringList{u"Claude · context 97 % full"_s};
        QTest::newRow("a conversation first seen past a threshold: only the next one")
            << QVariant() << QList<Step>{{"a", 0.9}, {"a", 0.93}, {"a", 0.951}}
            << QStringList{u"Claude · context 95 % full"_s};
        QTest::newRow("an empty setting: none")
            << QVariant(u""_s) << QList<Step>{{"a", 0.5}, {"a", 0.9}, {"a", 1.0}} << QStringList{};
    }
    // Exactly the notifications expected, each with the same explanation.
    void contextWarnings()
    {
        QFETCH(QVariant, setting);
        QFETCH(QList<Step>, steps);
        RecordingNotifier said;
        Overlay::ContextWarnings warnings(&said, Overlay::ContextWarnings::thresholdsFrom(setting));
        for (const auto &[conversation, fraction] : steps)
            warnings.update(conversation, u"Claude"_s, fraction);
        QTEST(said.lines.replaceInStrings(u"|Near the model’s limit, older turns get summarised or "
                                          "dropped; a new conversation starts with an empty "
                                          "context."_s,
                                          QString()),
              "shown");
    }

    void contextThresholds_data()
    {
        QTest::addColumn<QVariant>("setting");
        QTest::addColumn<QList<int>>("thresholds");
        QTest::newRow("not set") << QVariant() << QList<int>{80, 95};
        QTest::newRow("one") << QVariant(u"90"_s) << QList<int>{90};
        QTest::newRow("sorted, repeats and others dropped")
            << QVariant(QStringList{u"95"_s, u" 70"_s, u"95"_s, u"x"_s, u"0"_s, u"101"_s, u"5.5"_s})
            << QList<int>{70, 95};
    }
    void contextThresholds()
    {
        QFETCH(QVariant, setting);
        QTEST(Overlay::ContextWarnings::thresholdsFrom(setting), "thresholds");
    }
};

QTEST_GUILESS_MAIN(OverlayTextsTest)
#include "tst_overlaytexts.moc"

#include "overlay/CountUpAnimator.h"

#include <QTest>

#include <cmath>

using namespace Overlay;
using Values = CountUpAnimator::Values;

namespace {
const QString key = QStringLiteral("output");
constexpr double tick = CountUpAnimator::tickInterval;

// An animator that has shown `from` and then been asked for `to`, without a step yet.
CountUpAnimator shown(std::int64_t from)
{
    CountUpAnimator animator;
    animator.advance({{key, from}}, tick);
    return animator;
}
} // namespace

class CountUpAnimatorTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // From a shown value to a target over a list of elapsed times: the last value and the
    // number of the step at which the target was first reached (0: never).
    void countUp_data()
    {
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<QList<double>>("steps");
        QTest::addColumn<QList<qint64>>("values");
        // The worked example: 100 -> 200, first step 103.
        QTest::newRow("first step of 100 to 200")
            << qint64(100) << qint64(200) << QList<double>{tick} << QList<qint64>{103};
        QTest::newRow("zero elapsed does not move")
            << qint64(100) << qint64(200) << QList<double>{0.0, 0.0} << QList<qint64>{100, 100};
        QTest::newRow("negative elapsed does not move")
            << qint64(100) << qint64(200) << QList<double>{-3.0} << QList<qint64>{100};
        QTest::newRow("not a number does not move")
            << qint64(100) << qint64(200) << QList<double>{std::nan("")} << QList<qint64>{100};
        QTest::newRow("a 5-second pause lands exactly")
            << qint64(100) << qint64(1000000) << QList<double>{tick, 5.0}
            << QList<qint64>{34817, 1000000};
        QTest::newRow("snap down")
            << qint64(500) << qint64(20) << QList<double>{tick} << QList<qint64>{20};
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
        QTest::newRow("0 to 5 million") << qint64(0) << qint64(5000000);
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

    // A first reading shows at once; a target of 7 reached from 6.999 shows 6 until exactly 7,
    // never 8; a key left out is forgotten and shows at once when it comes back.
    void firstReadingAndKeys()
    {
        CountUpAnimator animator;
        QCOMPARE(animator.advance({{key, 4200}, {QStringLiteral("cacheRead"), 7}}, tick),
                 (Values{{key, 4200}, {QStringLiteral("cacheRead"), 7}}));

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
        animator.advance({{QStringLiteral("cacheRead"), 7}}, tick);
        QCOMPARE(animator.advance({{key, 9000}, {QStringLiteral("cacheRead"), 7}}, tick).value(key),
                 9000);
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
};

QTEST_GUILESS_MAIN(CountUpAnimatorTest)
#include "tst_countupanimator.moc"

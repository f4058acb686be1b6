// The real timers: a delayed call is a deadline (a gateway gives up after it, a terminal opens
// after it), so it must never come early, however long the delay.
#include "platform/Timers.h"

#include <QElapsedTimer>
#include <QTest>

#include <vector>

using namespace std::chrono_literals;

class TestTimers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // All delays run at once, so the whole check takes as long as the longest.
    void singleShotNeverFiresEarly()
    {
        const std::vector<std::chrono::milliseconds> delays{50ms, 999ms, 1500ms, 4000ms};
        std::vector<qint64> firedAfter(delays.size(), -1);
        std::vector<std::unique_ptr<Platform::TimerHandle>> handles;
        QElapsedTimer since;
        since.start();
        for (std::size_t i = 0; i < delays.size(); ++i)
            handles.push_back(Platform::QtTimers::instance().singleShot(
                delays[i], [&, i] { firedAfter[i] = since.elapsed(); }));
        QTRY_VERIFY_WITH_TIMEOUT(firedAfter.back() >= 0, 10000);
        for (std::size_t i = 0; i < delays.size(); ++i) {
            QVERIFY2(firedAfter[i] >= delays[i].count(),
                     qPrintable(QStringLiteral("%1 ms fired after %2 ms")
                                    .arg(delays[i].count())
                                    .arg(firedAfter[i])));
            QVERIFY(!handles[i]->isActive());
        }
    }
};

QTEST_GUILESS_MAIN(TestTimers)
#include "tst_timers.moc"

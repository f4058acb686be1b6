#include "TranscriptHome.h"
#include "support/ManualClock.h"
#include "usage/DesktopSessionFileTracker.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class TestDesktopSessionFileTracker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lifecycle();
};

// One scripted run of the tracker as the overlay drives it: baseline, then one poll per step.
void TestDesktopSessionFileTracker::lifecycle()
{
    TranscriptHome home;
    ManualClock clock;
    DesktopSessionFileTracker tracker(home.path(), clock);
    const QString claude = u"claude-code"_s, codex = u"codex"_s;
    const QString dir = home.filePath(u".claude/projects/-a/"_s);
    const auto started = std::optional(DesktopSessionFileTracker::Event::sessionStarted);
    const auto ready = std::optional(DesktopSessionFileTracker::Event::sessionReady);
    writeFile(dir + u"old.jsonl"_s, "{}\n");
    QCOMPARE(tracker.poll(claude), std::nullopt); // nothing before the baseline
    tracker.knownPaths().insert(claude,
                                {dir + u"old.jsonl"_s}); // the baseline, as the overlay takes it
    tracker.setInitialized(true);
    QCOMPARE(tracker.poll(claude), std::nullopt);
    writeFile(dir + u"upper.JSONL"_s, {});
    writeFile(dir + u"folder.jsonl/notes.txt"_s, {});
    QCOMPARE(tracker.poll(claude), std::nullopt);

    // A new file is pending until it grows by one byte; another file growing changes nothing.
    writeFile(dir + u"new.jsonl"_s, "{}\n");
    QCOMPARE(tracker.poll(claude), started);
    const PendingSession pending = tracker.pending().value(claude);
    QVERIFY(pending.path == dir + u"new.jsonl"_s && pending.initialSize == 3);
    QCOMPARE(pending.expiresAt, clock.now() + 30s);
    clock.advance(1s);
    writeFile(dir + u"old.jsonl"_s, "{}\n", true);
    QCOMPARE(tracker.poll(claude), std::nullopt);
    writeFile(dir + u"new.jsonl"_s, "x", true);
    QCOMPARE(tracker.poll(claude), ready);
    writeFile(dir + u"new.jsonl"_s, "x", true);
    QCOMPARE(tracker.poll(claude), std::nullopt);

    // Of two new files one is reported; deleted while pending, it is ready after 30 seconds.
    writeFile(dir + u"first.jsonl"_s, {});
    writeFile(dir + u"second.jsonl"_s, {});
    QCOMPARE(tracker.poll(claude), started);
    QCOMPARE(
        tracker.pending().value(claude).path,
        dir + QDir(dir).entryList({u"first.*"_s, u"second.*"_s}, QDir::Files, QDir::Unsorted)[0]);
    QVERIFY(QFile::remove(tracker.pending().value(claude).path));
    writeFile(dir + u"third.jsonl"_s, {});
    clock.advance(29999ms);
    QCOMPARE(tracker.poll(claude), std::nullopt);
    clock.advance(1ms);
    QCOMPARE(tracker.poll(claude), ready);
    QCOMPARE(tracker.poll(claude), std::nullopt);

    // A harness not polled keeps its known files: its new file (no root at the baseline) is
    // reported at its next poll. Other harnesses have no files.
    writeFile(home.filePath(u".codex/sessions/2026/01/05/r.jsonl"_s), {});
    QCOMPARE(tracker.poll(claude), std::nullopt);
    QCOMPARE(tracker.poll(codex), started);
}

QTEST_GUILESS_MAIN(TestDesktopSessionFileTracker)
#include "tst_desktopsessionfiletracker.moc"

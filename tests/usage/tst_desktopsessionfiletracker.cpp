#include "TranscriptHome.h"
#include "support/ManualClock.h"
#include "usage/DesktopSessionFileTracker.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Event = std::optional<DesktopSessionFileTracker::Event>;

class TestDesktopSessionFileTracker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lifecycle();
};

// One scripted run of the tracker, as the overlay drives it: baseline, then a poll per step.
void TestDesktopSessionFileTracker::lifecycle()
{
    TranscriptHome home;
    ManualClock clock;
    DesktopSessionFileTracker tracker(home.dir.path(), clock);
    const QString claude = u"claude-code"_s, codex = u"codex"_s,
                  dir = home.path(u".claude/projects/-a/"_s);
    const Event started = DesktopSessionFileTracker::Event::sessionStarted;
    const Event ready = DesktopSessionFileTracker::Event::sessionReady;
    writeFile(dir + u"old.jsonl"_s, "{}\n");
    QCOMPARE(tracker.poll(claude), std::nullopt); // nothing before the baseline
    QVERIFY(tracker.knownPaths().isEmpty() && tracker.pending().isEmpty());
    for (const QString &harness : {claude, codex}) {
        for (const FileState &file : tracker.scan(harness))
            tracker.knownPaths()[harness].insert(file.path);
    }
    tracker.setInitialized(true);
    QCOMPARE(tracker.poll(claude), std::nullopt);
    QCOMPARE(tracker.poll(codex), std::nullopt); // no root
    writeFile(dir + u"upper.JSONL"_s, {});
    writeFile(dir + u"folder.jsonl/notes.txt"_s, {});
    QCOMPARE(tracker.poll(claude), std::nullopt);

    // A new file is pending until it grows by one byte; other files growing change nothing.
    writeFile(dir + u"new.jsonl"_s, "{}\n");
    QCOMPARE(tracker.poll(claude), started);
    QCOMPARE(tracker.pending().value(claude).path, dir + u"new.jsonl"_s);
    QCOMPARE(tracker.pending().value(claude).initialSize, 3);
    QCOMPARE(tracker.pending().value(claude).expiresAt, clock.now() + 30s);
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
    const QString first =
        dir + QDir(dir).entryList({u"first.*"_s, u"second.*"_s}, QDir::Files, QDir::Unsorted)[0];
    QCOMPARE(tracker.pending().value(claude).path, first);
    QVERIFY(QFile::remove(first));
    writeFile(dir + u"third.jsonl"_s, {});
    clock.advance(29999ms);
    QCOMPARE(tracker.poll(claude), std::nullopt);
    clock.advance(1ms);
    QCOMPARE(tracker.poll(claude), ready);
    QCOMPARE(tracker.poll(claude), std::nullopt);

    // A harness not polled keeps its known files: its new file is reported at its next poll.
    writeFile(home.path(u".codex/sessions/2026/01/05/r.jsonl"_s), {});
    QCOMPARE(tracker.poll(claude), std::nullopt);
    QCOMPARE(tracker.poll(codex), started);
    clock.advance(30s);
    QCOMPARE(tracker.poll(codex), ready);
    QVERIFY(tracker.scan(u"opencode"_s).isEmpty());
    QCOMPARE(tracker.poll(u"opencode"_s), std::nullopt);
}

QTEST_GUILESS_MAIN(TestDesktopSessionFileTracker)
#include "tst_desktopsessionfiletracker.moc"

#include "TranscriptHome.h"
#include "support/ManualClock.h"
#include "usage/DesktopSessionFileTracker.h"

#include <QTest>

using Event = DesktopSessionFileTracker::Event;
using OptionalEvent = std::optional<Event>;
using namespace std::chrono_literals;

class TestDesktopSessionFileTracker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roots();
    void scanListsTranscripts();
    void nothingBeforeBaseline();
    void newFileThenGrowth_data();
    void newFileThenGrowth();
    void waitRunsOut_data();
    void waitRunsOut();
    void twoNewFilesAtOnce();
    void otherHarnessesAndMissingRoots();
};

namespace {

const QString claudeCode = QStringLiteral("claude-code");

// Takes the baseline the way the overlay does at start.
void takeBaseline(DesktopSessionFileTracker &tracker)
{
    for (const QString &harness : {claudeCode, QStringLiteral("codex")}) {
        QSet<QString> paths;
        for (const FileState &file : tracker.scan(harness))
            paths.insert(file.path);
        tracker.knownPaths().insert(harness, paths);
    }
    tracker.setInitialized(true);
}

} // namespace

void TestDesktopSessionFileTracker::roots()
{
    DesktopSessionFileTracker tracker(QStringLiteral("/home/ada"));
    QCOMPARE(tracker.root(claudeCode), QStringLiteral("/home/ada/.claude/projects"));
    QCOMPARE(tracker.root(QStringLiteral("codex")), QStringLiteral("/home/ada/.codex/sessions"));
    QCOMPARE(tracker.root(QStringLiteral("claude-desktop")), std::nullopt);
}

void TestDesktopSessionFileTracker::scanListsTranscripts()
{
    TranscriptHome home;
    const QString root = home.claudeRoot();
    TranscriptHome::write(root + QStringLiteral("/-a/one.jsonl"), "12345");
    TranscriptHome::write(root + QStringLiteral("/.hidden/two.jsonl"), "");
    TranscriptHome::write(root + QStringLiteral("/-a/upper.JSONL"), "x");
    TranscriptHome::write(root + QStringLiteral("/-a/notes.json"), "x");
    TranscriptHome::write(root + QStringLiteral("/-a/dir.jsonl/three.jsonl"), "abc");
    QVERIFY(QFile::link(root + QStringLiteral("/-a/one.jsonl"),
                        root + QStringLiteral("/-a/link.jsonl")));
    QVERIFY(QFile::link(root + QStringLiteral("/-a"), root + QStringLiteral("/linked-dir")));

    DesktopSessionFileTracker tracker(home.home());
    QHash<QString, qint64> sizes;
    for (const FileState &file : tracker.scan(claudeCode))
        sizes.insert(file.path, file.size);
    const QHash<QString, qint64> expected{{root + QStringLiteral("/-a/one.jsonl"), 5},
                                          {root + QStringLiteral("/.hidden/two.jsonl"), 0},
                                          {root + QStringLiteral("/-a/dir.jsonl/three.jsonl"), 3}};
    QCOMPARE(sizes, expected);
}

void TestDesktopSessionFileTracker::nothingBeforeBaseline()
{
    TranscriptHome home;
    ManualClock clock;
    DesktopSessionFileTracker tracker(home.home(), clock);
    TranscriptHome::write(home.claudeRoot() + QStringLiteral("/-a/new.jsonl"), "");
    QCOMPARE(tracker.poll(claudeCode), std::nullopt);
    QVERIFY(tracker.knownPaths().isEmpty());
    QVERIFY(tracker.pending().isEmpty());
}

void TestDesktopSessionFileTracker::newFileThenGrowth_data()
{
    QTest::addColumn<bool>("rootAtBaseline");
    QTest::addColumn<QByteArray>("initialContent");
    QTest::newRow("root with files at baseline") << true << QByteArray();
    QTest::newRow("no root at baseline") << false << QByteArray();
    QTest::newRow("file found already written to") << true << QByteArray("{\"a\":1}\n");
}

void TestDesktopSessionFileTracker::newFileThenGrowth()
{
    QFETCH(bool, rootAtBaseline);
    QFETCH(QByteArray, initialContent);
    TranscriptHome home;
    ManualClock clock;
    const QString old = home.claudeRoot() + QStringLiteral("/-a/old.jsonl");
    if (rootAtBaseline)
        TranscriptHome::write(old, "{}\n");
    DesktopSessionFileTracker tracker(home.home(), clock);
    takeBaseline(tracker);
    QCOMPARE(tracker.poll(claudeCode), std::nullopt);

    const QString fresh = home.claudeRoot() + QStringLiteral("/-b/fresh.jsonl");
    TranscriptHome::write(fresh, initialContent);
    QCOMPARE(tracker.poll(claudeCode), OptionalEvent(Event::sessionStarted));
    QCOMPARE(tracker.pending().value(claudeCode).path, fresh);
    QCOMPARE(tracker.pending().value(claudeCode).initialSize, initialContent.size());
    QCOMPARE(tracker.pending().value(claudeCode).expiresAt, clock.now() + 30s);

    clock.advance(1s);
    QCOMPARE(tracker.poll(claudeCode), std::nullopt);
    if (rootAtBaseline)
        TranscriptHome::append(old, "{}\n"); // another file growing changes nothing
    QCOMPARE(tracker.poll(claudeCode), std::nullopt);
    TranscriptHome::append(fresh, "x");
    QCOMPARE(tracker.poll(claudeCode), OptionalEvent(Event::sessionReady));
    QVERIFY(tracker.pending().isEmpty());
    TranscriptHome::append(fresh, "more");
    QCOMPARE(tracker.poll(claudeCode), std::nullopt);
}

void TestDesktopSessionFileTracker::waitRunsOut_data()
{
    QTest::addColumn<bool>("deleteFile");
    QTest::newRow("file never grows") << false;
    QTest::newRow("file deleted before growing") << true;
}

void TestDesktopSessionFileTracker::waitRunsOut()
{
    QFETCH(bool, deleteFile);
    TranscriptHome home;
    ManualClock clock;
    DesktopSessionFileTracker tracker(home.home(), clock);
    takeBaseline(tracker);
    const QString fresh = home.codexRoot() + QStringLiteral("/2026/01/05/rollout-1.jsonl");
    TranscriptHome::write(fresh, "{}\n");
    const QString codex = QStringLiteral("codex");
    QCOMPARE(tracker.poll(codex), OptionalEvent(Event::sessionStarted));
    if (deleteFile)
        QVERIFY(QFile::remove(fresh));
    clock.advance(29s);
    QCOMPARE(tracker.poll(codex), std::nullopt);
    clock.advance(999ms);
    QCOMPARE(tracker.poll(codex), std::nullopt);
    clock.advance(1ms);
    QCOMPARE(tracker.poll(codex), OptionalEvent(Event::sessionReady));
    QVERIFY(tracker.pending().isEmpty());
    QCOMPARE(tracker.poll(codex), std::nullopt);
    // The tracker watches again: the next new file is reported.
    TranscriptHome::write(home.codexRoot() + QStringLiteral("/2026/01/05/rollout-2.jsonl"), "");
    QCOMPARE(tracker.poll(codex), OptionalEvent(Event::sessionStarted));
}

void TestDesktopSessionFileTracker::twoNewFilesAtOnce()
{
    TranscriptHome home;
    ManualClock clock;
    DesktopSessionFileTracker tracker(home.home(), clock);
    takeBaseline(tracker);
    const QString folder = home.claudeRoot() + QStringLiteral("/-a");
    TranscriptHome::write(folder + QStringLiteral("/first.jsonl"), "");
    TranscriptHome::write(folder + QStringLiteral("/second.jsonl"), "");
    const QStringList listed = QDir(folder).entryList(QDir::Files, QDir::Unsorted);
    QCOMPARE(tracker.poll(claudeCode), OptionalEvent(Event::sessionStarted));
    QCOMPARE(tracker.pending().value(claudeCode).path, folder + QLatin1Char('/') + listed.first());

    // A file created while one is pending is absorbed and never reported.
    TranscriptHome::write(folder + QStringLiteral("/third.jsonl"), "");
    QCOMPARE(tracker.poll(claudeCode), std::nullopt);
    clock.advance(30s);
    QCOMPARE(tracker.poll(claudeCode), OptionalEvent(Event::sessionReady));
    QCOMPARE(tracker.poll(claudeCode), std::nullopt);
    QCOMPARE(tracker.knownPaths().value(claudeCode).size(), 3);
}

void TestDesktopSessionFileTracker::otherHarnessesAndMissingRoots()
{
    TranscriptHome home;
    ManualClock clock;
    DesktopSessionFileTracker tracker(home.home(), clock);
    takeBaseline(tracker);
    const QString other = QStringLiteral("opencode");
    QVERIFY(tracker.scan(other).isEmpty());
    QCOMPARE(tracker.poll(other), std::nullopt);
    QCOMPARE(tracker.poll(claudeCode), std::nullopt);
    QVERIFY(tracker.scan(claudeCode).isEmpty());

    // A harness not polled keeps its old known paths: its new file is reported later.
    TranscriptHome::write(home.codexRoot() + QStringLiteral("/s.jsonl"), "");
    QCOMPARE(tracker.poll(claudeCode), std::nullopt);
    QCOMPARE(tracker.poll(QStringLiteral("codex")), OptionalEvent(Event::sessionStarted));
}

QTEST_GUILESS_MAIN(TestDesktopSessionFileTracker)
#include "tst_desktopsessionfiletracker.moc"

#include "TranscriptHome.h"

#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

// The developer tool orvane-usage run as a process; "@" stands for the home folder.
class TestOrvaneUsage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void run_data();
    void run();
};

void TestOrvaneUsage::run_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");
    const QStringList claude{u"--home"_s, u"@"_s, u"--harness"_s, u"claude-code"_s};
    QTest::newRow("claude-code")
        << u".claude/projects/-a/s \"1\".jsonl"_s
        << claudeLine("a", 600, 300, 100, 7) + claudeLine("a", 6, 3, 1, 70) +
               claudeLine("b", 1, 1, 1, 1).left(30)
        << claude << 0
        << QByteArray(
               R"({"path":"@/.claude/projects/-a/s \"1\".jsonl","cache_read":600,"cache_write":300,"fresh_input":100,"output":7,"context_window":200000,"context_used":1000,"total":1007,"context_fraction":0.005})"
               "\n");
    QTest::newRow("codex without a window, --home=DIR")
        << u".codex/sessions/r.jsonl"_s << codexLine(1000, 0, 1500, 200, 50, 0, 0)
        << QStringList{u"--home=@"_s, u"--harness"_s, u"codex"_s} << 0
        << QByteArray(
               R"({"path":"@/.codex/sessions/r.jsonl","cache_read":1000,"cache_write":0,"fresh_input":500,"output":250,"context_window":null,"context_used":0,"total":1750,"context_fraction":null})"
               "\n");
    QTest::newRow("no transcript") << u".claude/projects/p/notes.txt"_s << QByteArray("x") << claude
                                   << 0 << QByteArray("null\n");
    const auto wrong = [](const char *name, const QStringList &arguments) {
        QTest::newRow(name) << QString() << QByteArray() << arguments << 2 << QByteArray();
    };
    wrong("nothing", {});
    wrong("no harness", {u"--home"_s, u"/tmp"_s});
    wrong("no home", {u"--harness"_s, u"codex"_s});
    wrong("unknown harness", {u"--home"_s, u"/tmp"_s, u"--harness"_s, u"opencode"_s});
    wrong("missing value", {u"--harness"_s, u"codex"_s, u"--home"_s});
    wrong("unknown option", {u"--home=/tmp"_s, u"--harness=codex"_s, u"--fast"_s});
    wrong("given twice", {u"--harness=codex"_s, u"--harness"_s, u"codex"_s, u"--home=/tmp"_s});
}

void TestOrvaneUsage::run()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    TranscriptHome home;
    if (!file.isEmpty())
        writeFile(home.path(file), content);
    QProcess tool;
    tool.start(qEnvironmentVariable("ORVANE_USAGE_TOOL"),
               arguments.replaceInStrings(u"@"_s, home.dir.path()));
    QVERIFY(tool.waitForFinished(30000) && tool.exitStatus() == QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), exitCode);
    QCOMPARE(tool.readAllStandardOutput(), out.replace('@', QFile::encodeName(home.dir.path())));
    QCOMPARE(tool.readAllStandardError().contains("usage: orvane-usage"), exitCode == 2);
}

QTEST_GUILESS_MAIN(TestOrvaneUsage)
#include "tst_orvaneusage.moc"

#include "TranscriptHome.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

// The developer tool orvane-usage, run as a process.
class TestOrvaneUsage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void printsUsage();
    void printsNullWithoutTranscript();
    void wrongCommandLine_data();
    void wrongCommandLine();

private:
    struct Result
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    static Result run(const QStringList &arguments);
};

TestOrvaneUsage::Result TestOrvaneUsage::run(const QStringList &arguments)
{
    QProcess process;
    process.start(qEnvironmentVariable("ORVANE_USAGE_TOOL"), arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

void TestOrvaneUsage::printsUsage()
{
    TranscriptHome home;
    const QString claude = home.claudeRoot() + QStringLiteral("/-home-ada-app/s \"1\".jsonl");
    TranscriptHome::write(claude, claudeAssistantLine("msg_a", 600, 300, 100, 7) +
                                      claudeAssistantLine("msg_a", 600, 300, 100, 70) +
                                      claudeAssistantLine("msg_b", 0, 0, 1, 1, "gpt-5").left(30));
    const QString codex = home.codexRoot() + QStringLiteral("/2026/01/05/rollout.jsonl");
    TranscriptHome::write(codex, codexTokenCountLine(1000, 0, 1500, 200, 50, 272000, 1700));

    const Result claudeResult = run({QStringLiteral("--home"), home.home(),
                                     QStringLiteral("--harness"), QStringLiteral("claude-code")});
    QCOMPARE(claudeResult.exitCode, 0);
    QVERIFY(claudeResult.out.endsWith('\n'));
    QCOMPARE(claudeResult.out.count('\n'), 1);
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(claudeResult.out, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QStringList keys{QStringLiteral("path"),
                           QStringLiteral("cache_read"),
                           QStringLiteral("cache_write"),
                           QStringLiteral("fresh_input"),
                           QStringLiteral("output"),
                           QStringLiteral("context_window"),
                           QStringLiteral("context_used"),
                           QStringLiteral("total"),
                           QStringLiteral("context_fraction")};
    QStringList sortedKeys = keys;
    sortedKeys.sort();
    QCOMPARE(object.keys(), sortedKeys);
    // Keys come in the documented order.
    qsizetype previous = -1;
    for (const QString &key : keys) {
        const qsizetype at = claudeResult.out.indexOf(QByteArray("\"" + key.toUtf8() + "\":"));
        QVERIFY2(at > previous, qPrintable(key));
        previous = at;
    }
    QCOMPARE(object.value(u"path").toString(), claude);
    QCOMPARE(object.value(u"cache_read").toInteger(), 600);
    QCOMPARE(object.value(u"cache_write").toInteger(), 300);
    QCOMPARE(object.value(u"fresh_input").toInteger(), 100);
    QCOMPARE(object.value(u"output").toInteger(), 7);
    QCOMPARE(object.value(u"context_window").toInteger(), 200000);
    QCOMPARE(object.value(u"context_used").toInteger(), 1000);
    QCOMPARE(object.value(u"total").toInteger(), 1007);
    QCOMPARE(object.value(u"context_fraction").toDouble(), 0.005);

    const Result codexResult = run({QStringLiteral("--home=") + home.home(),
                                    QStringLiteral("--harness"), QStringLiteral("codex")});
    QCOMPARE(codexResult.exitCode, 0);
    const QJsonObject codexObject = QJsonDocument::fromJson(codexResult.out).object();
    QCOMPARE(codexObject.value(u"path").toString(), codex);
    QCOMPARE(codexObject.value(u"fresh_input").toInteger(), 500);
    QCOMPARE(codexObject.value(u"output").toInteger(), 250);
    QCOMPARE(codexObject.value(u"total").toInteger(), 1750);
    QCOMPARE(codexObject.value(u"context_window").toInteger(), 272000);

    // No window known: both window and fraction are null.
    TranscriptHome::write(
        codex,
        R"({"payload":{"type":"token_count","info":{"total_token_usage":{"output_tokens":4}}}})"
        "\n");
    const QJsonObject noWindow =
        QJsonDocument::fromJson(run({QStringLiteral("--harness"), QStringLiteral("codex"),
                                     QStringLiteral("--home"), home.home()})
                                    .out)
            .object();
    QVERIFY(noWindow.value(u"context_window").isNull());
    QVERIFY(noWindow.value(u"context_fraction").isNull());
    QCOMPARE(noWindow.value(u"output").toInteger(), 4);
}

void TestOrvaneUsage::printsNullWithoutTranscript()
{
    TranscriptHome home;
    TranscriptHome::write(home.claudeRoot() + QStringLiteral("/p/notes.txt"), "x");
    for (const QString &harness : {QStringLiteral("claude-code"), QStringLiteral("codex")}) {
        const Result result =
            run({QStringLiteral("--home"), home.home(), QStringLiteral("--harness"), harness});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, QByteArray("null\n"));
    }
}

void TestOrvaneUsage::wrongCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    const QString home = QStringLiteral("--home");
    const QString harness = QStringLiteral("--harness");
    QTest::newRow("nothing") << QStringList();
    QTest::newRow("no harness") << QStringList{home, QStringLiteral("/tmp")};
    QTest::newRow("no home") << QStringList{harness, QStringLiteral("codex")};
    QTest::newRow("unknown harness")
        << QStringList{home, QStringLiteral("/tmp"), harness, QStringLiteral("opencode")};
    QTest::newRow("missing value") << QStringList{harness, QStringLiteral("codex"), home};
    QTest::newRow("unknown option") << QStringList{
        home, QStringLiteral("/tmp"), harness, QStringLiteral("codex"), QStringLiteral("--fast")};
    QTest::newRow("given twice") << QStringList{home,    QStringLiteral("/tmp"),
                                                harness, QStringLiteral("codex"),
                                                harness, QStringLiteral("codex")};
}

void TestOrvaneUsage::wrongCommandLine()
{
    QFETCH(QStringList, arguments);
    const Result result = run(arguments);
    QCOMPARE(result.exitCode, 2);
    QVERIFY(result.out.isEmpty());
    QVERIFY(result.err.contains("usage: orvane-usage"));
}

QTEST_GUILESS_MAIN(TestOrvaneUsage)
#include "tst_orvaneusage.moc"

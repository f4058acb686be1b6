#include "TranscriptHome.h"
#include "usage/TokenUsageReader.h"

#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;
using U = TokenUsage;

char *toString(const TokenUsage &u)
{
    return QTest::toString(std::tuple(u.cacheRead, u.cacheWrite, u.freshInput, u.output,
                                      u.contextWindow.value_or(-1), u.contextUsed));
}

namespace {

constexpr std::int64_t W = 200000; // the window of "claude-" models
constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
const QString claude = u"claude-code"_s;
const QString codex = u"codex"_s;

// The harness's usage, or a value no test expects when there is none.
TokenUsage usageOf(TokenUsageReader &reader, const QString &harness)
{
    return reader.usage(harness).value_or(U{-1, -1, -1, -1, {}, -1});
}

QByteArray crlf(QByteArray lines)
{
    return lines.replace('\n', "\r\n");
}

// A transcript as first written and the usage then, what is appended and the usage after it.
void row(const char *name, const QString &harness, const QByteArray &written, const U &first,
         const QByteArray &appended = {}, const std::optional<U> &second = {})
{
    QTest::newRow(name) << harness << written << first << appended << second.value_or(first);
}

} // namespace

class TestTokenUsageReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reading_data();
    void reading();
    void truncationAndRotation();
    void newestFile();
};

void TestTokenUsageReader::reading_data()
{
    QTest::addColumn<QString>("harness");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<TokenUsage>("first");
    QTest::addColumn<QByteArray>("appended");
    QTest::addColumn<TokenUsage>("second");
    const QByteArray a = claudeLine("a", 1, 1, 1, 1), b = claudeLine("b", 100, 20, 3, 7);
    row("incomplete last line counts once completed", claude, a + b.left(40), U{1, 1, 1, 1, W, 3},
        b.mid(40), U{101, 21, 4, 8, W, 123});
    row("repeated id counts its first line only", claude,
        claudeLine("b", 10, 5, 2, 1) + claudeLine("b", 10, 5, 2, 40) + a, U{11, 6, 3, 2, W, 3},
        claudeLine("b", 10, 5, 2, 90));
    row("lines without id all count, CRLF line ends", claude,
        crlf(claudeLine("", 10, 5, 2, 1).repeated(2)), U{20, 10, 4, 2, W, 17});
    row("ids: non-string ones count always, only lines with usage claim one, usage before id",
        claude, R"({"message":{"id":7,"usage":{"output_tokens":2}}}
{"message":{"id":7,"usage":{"output_tokens":2}}}
{"message":{"id":"c","content":"hi"}}
{"message":{"id":"c","usage":{"input_tokens":6}}}
{"message":{"usage":{"input_tokens":6},"id":"c"}}
)",
        U{0, 0, 6, 4, {}, 6});
    row("[1m] model: window 1000000", claude, claudeLine("a", 6, 3, 1, 1, "claude-x[1m]"),
        U{6, 3, 1, 1, 1000000, 10});
    row("other model: no window until a claude- one, which then stays", claude,
        claudeLine("a", 1, 0, 0, 0, "<synthetic>"), U{1, 0, 0, 0, {}, 1},
        claudeLine("b", 1, 0, 0, 0, "claude-h") + claudeLine("c", 1, 0, 0, 0, "claude-x[1m]"),
        U{3, 0, 0, 0, W, 1});
    row("malformed lines are skipped, the rest counted", claude,
        R"(not json
[1,2,3]

{"message":{"id":"t","usage":{"output_tokens":1000}}
{"message":"text"}
{"message":{"usage":[1]}}
{"message":{"usage":{"output_tokens":1}}}
{"message":{"usage":{"output_tokens":1}}} trailing
{"message":{"id":"t","usage":{"output_tokens":5}}}
{"message":{"usage":{"output_tokens":)"
        "\xff}}}\n",
        U{0, 0, 0, 6, {}, 0});
    row("numbers: fractions truncate toward zero, strings are 0", claude,
        R"({"message":{"usage":{"cache_read_input_tokens":12.9,"cache_creation_input_tokens":"12","input_tokens":-3.7,"output_tokens":1.5e3}}}
)",
        U{12, 0, -3, 1500, {}, 9});
    const QByteArray huge =
        R"({"message":{"usage":{"cache_read_input_tokens":9223372036854775808,"cache_creation_input_tokens":-123456789012345678901234567890,"input_tokens":1e300,"output_tokens":123456789012345678901234567890}}}
)";
    row("numbers: beyond 64 bits clamp, sums saturate", claude, huge,
        U{max, -max - 1, max, max, {}, max - 1}, huge);

    const QByteArray c1 = codexLine(1000, 50, 1500, 300, 200, 272000, 1200);
    row("codex: totals replace, token_count without info is skipped", codex,
        c1 + c1 + R"({"payload":{"type":"token_count","info":null}}
)",
        U{1000, 50, 500, 500, 272000, 1200}, codexLine(4000, 10, 6000, 900, 100, 272000, 4100),
        U{4000, 10, 2000, 1000, 272000, 4100});
    row("codex: fresh input clamps at 0, window and last input below 1 kept, CRLF", codex,
        crlf(codexLine(900, 0, 100, 1, 0, 128000, 5)), U{900, 0, 0, 1, 128000, 5},
        codexLine(30, 0, 40, 2, 0, 0, 0), U{30, 0, 10, 2, 128000, 5});
    row("codex: other payloads; type after info, odd numbers, fractional window", codex,
        R"({"payload":{"type":"agent_reasoning","info":{"total_token_usage":{"input_tokens":5}}}}
{"payload":{"info":{"total_token_usage":{"input_tokens":5,"cached_input_tokens":2.9,"output_tokens":123456789012345678901234567890,"reasoning_output_tokens":1},"model_context_window":1000.5},"type":"token_count"}}
)",
        U{2, 0, 3, max, {}, 0});

    // Lines longer than the read chunk.
    const qsizetype chunk = qsizetype(TokenUsageReader::chunkSize);
    const QByteArray filler(chunk * 5 / 2, 'x');
    const auto longLine = [](const QByteArray &before, const QByteArray &after) {
        return R"({"message":{"content":")" + before +
               R"(","usage":{"input_tokens":7,"output_tokens":11},"stop":")" + after + "\"}}\n";
    };
    const QByteArray toolResult = R"({"type":"user","message":{"content":")" + filler + "\"}}\n";
    row("long line: usage before the long content", claude, longLine({}, filler) + a,
        U{1, 1, 8, 12, W, 3});
    const QByteArray straddling = longLine(QByteArray(chunk - 28, 'y'), filler);
    QCOMPARE(straddling.indexOf("\"usage\""), chunk - 3);
    row("long line: usage across the first read", claude, straddling, U{0, 0, 7, 11, {}, 7});
    const QByteArray both = longLine(filler, filler);
    row("unfinished long line, usage in its rest", claude, a + both.left(chunk * 3),
        U{1, 1, 1, 1, W, 3}, both.mid(chunk * 3), U{1, 1, 8, 12, W, 7});
    row("unfinished long line without usage", claude, a + toolResult.left(chunk * 2),
        U{1, 1, 1, 1, W, 3}, toolResult.mid(chunk * 2) + a);

    // Real-looking transcripts; "@" stands for content longer than the read chunk.
    row("real Claude Code transcript", claude,
        QByteArray(R"({"type":"summary","summary":"Refactor the usage parser","leafUuid":"a1"}
{"type":"file-history-snapshot","messageId":"m0","snapshot":{"trackedFileBackups":{}},"isSnapshotUpdate":false}
{"parentUuid":null,"cwd":"/home/ada/app","sessionId":"s1","type":"user","message":{"role":"user","content":"Explain \"usage\": {\"output_tokens\": 99}"},"uuid":"u1"}
{"parentUuid":"u1","type":"assistant","message":{"model":"claude-opus-4-1-20250805","id":"msg_01","type":"message","role":"assistant","content":[{"type":"thinking","thinking":"Let me look.","signature":"abc"}],"stop_reason":null,"usage":{"input_tokens":4,"cache_creation_input_tokens":5000,"cache_read_input_tokens":12000,"cache_creation":{"ephemeral_5m_input_tokens":5000},"output_tokens":2,"service_tier":"standard"}},"requestId":"req_01"}
{"parentUuid":"a1","type":"assistant","message":{"model":"claude-opus-4-1-20250805","id":"msg_01","content":[{"type":"tool_use","id":"toolu_1","name":"Read","input":{"file_path":"/home/ada/app/log.txt"}}],"stop_reason":"tool_use","usage":{"input_tokens":4,"cache_creation_input_tokens":5000,"cache_read_input_tokens":12000,"output_tokens":180}},"requestId":"req_01"}
{"parentUuid":"a2","type":"user","message":{"role":"user","content":[{"tool_use_id":"toolu_1","type":"tool_result","content":"@"}]},"toolUseResult":{"stdout":"@","stderr":"","interrupted":false},"uuid":"u2"}
{"type":"system","subtype":"compact_boundary","content":"Conversation compacted","compactMetadata":{"trigger":"auto","preTokens":150000}}
{"parentUuid":"u2","isSidechain":true,"type":"assistant","message":{"model":"<synthetic>","role":"assistant","content":[{"type":"text","text":"No response requested."}],"usage":{"input_tokens":0,"output_tokens":0,"cache_creation_input_tokens":0,"cache_read_input_tokens":0}}}
{"parentUuid":"a3","type":"assistant","message":{"model":"claude-opus-4-1-20250805","id":"msg_02","content":[{"type":"text","text":"The log shows two failed requests."}],"stop_reason":"end_turn","usage":{"input_tokens":10,"cache_creation_input_tokens":80000,"cache_read_input_tokens":17000,"output_tokens":420}}}
)")
            .replace("@", filler),
        U{29000, 85000, 14, 422, W, 97010});
    row("real Codex transcript", codex,
        QByteArray(
            R"({"timestamp":"2026-01-05T10:00:00.000Z","type":"session_meta","payload":{"id":"0199","cwd":"/home/ada/app","originator":"codex_cli_rs","cli_version":"0.46.0"}}
{"timestamp":"2026-01-05T10:00:01.000Z","type":"turn_context","payload":{"cwd":"/home/ada/app","approval_policy":"on-request","model":"gpt-5-codex","effort":"medium"}}
{"timestamp":"2026-01-05T10:00:02.000Z","type":"response_item","payload":{"type":"message","role":"user","content":[{"type":"input_text","text":"@ \"token_count\""}]}}
{"timestamp":"2026-01-05T10:00:03.000Z","type":"event_msg","payload":{"type":"token_count","info":null,"rate_limits":{"primary":{"used_percent":2.0,"window_minutes":300}}}}
{"timestamp":"2026-01-05T10:00:04.000Z","type":"response_item","payload":{"type":"function_call","name":"shell","arguments":"{\"command\":[\"ls\"]}","call_id":"call_1"}}
{"timestamp":"2026-01-05T10:00:05.000Z","type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":9000,"cached_input_tokens":4000,"output_tokens":300,"reasoning_output_tokens":128,"total_tokens":9300},"last_token_usage":{"input_tokens":9000,"cached_input_tokens":4000,"output_tokens":300,"reasoning_output_tokens":128,"total_tokens":9300},"model_context_window":272000},"rate_limits":null}}
{"timestamp":"2026-01-05T10:00:06.000Z","type":"event_msg","payload":{"type":"agent_message","message":"Done."}}
)")
            .replace("@", filler),
        U{4000, 0, 5000, 428, 272000, 9000});
}

void TestTokenUsageReader::reading()
{
    QFETCH(QString, harness);
    QFETCH(QByteArray, written);
    QFETCH(TokenUsage, first);
    QFETCH(QByteArray, appended);
    QFETCH(TokenUsage, second);
    TranscriptHome home;
    const QString path = home.path(harness == claude ? u".claude/projects/-a/s.jsonl"_s
                                                     : u".codex/sessions/s.jsonl"_s);
    writeFile(path, written);
    TokenUsageReader reader(home.dir.path());
    QCOMPARE(usageOf(reader, harness), first);
    QCOMPARE(reader.progress().value(path).offset, quint64(written.lastIndexOf('\n') + 1));
    writeFile(path, appended, true);
    QCOMPARE(usageOf(reader, harness), second);
    QCOMPARE(usageOf(reader, harness), second); // nothing appended, nothing counted again
    const QByteArray all = written + appended;
    QCOMPARE(reader.progress().value(path).offset, quint64(all.lastIndexOf('\n') + 1));
    TokenUsageReader fresh(home.dir.path()); // read at once, the same as read in steps
    QCOMPARE(usageOf(fresh, harness), second);
}

void TestTokenUsageReader::truncationAndRotation()
{
    TranscriptHome home;
    const QString path = home.path(u".claude/projects/p/s.jsonl"_s);
    const QByteArray a = claudeLine("a", 100, 0, 1, 10), anonymous = claudeLine("", 0, 0, 0, 3);
    writeFile(path, a + claudeLine("b", 200, 0, 1, 20).repeated(2) + anonymous);
    TokenUsageReader reader(home.dir.path());
    QCOMPARE(usageOf(reader, claude).output, 33);
    // Shrunk below the offset: read again from the start, counters kept, ids not counted twice
    // (the line without id is, as any line without id read again).
    writeFile(path, a + anonymous);
    QCOMPARE(usageOf(reader, claude).output, 36);
    // Replaced by a longer file renamed over it: read from its start as well.
    writeFile(path + u".new"_s, claudeLine("d", 0, 0, 0, 1000) + claudeLine("c", 0, 0, 0, 100));
    QVERIFY(QFile::remove(path) && QFile::rename(path + u".new"_s, path));
    QCOMPARE(usageOf(reader, claude).output, 1136);
    reader.reset();
    QCOMPARE(usageOf(reader, claude).output, 1100);
    QCOMPARE((U{max, 1, 0, 0, W, 300000}).total(), max); // saturates
    QCOMPARE((U{max, 1, 0, 0, W, 300000}).contextFraction(), std::optional<double>(1.0));
}

void TestTokenUsageReader::newestFile()
{
    TranscriptHome home;
    TokenUsageReader reader(home.dir.path());
    const QString root = home.path(u".claude/projects/"_s);
    const auto newest = [&](const std::optional<QString> &project = {}) {
        return reader.activeSessionPath(claude, project).value_or(u"none"_s);
    };
    const auto add = [&](const QString &name, std::int64_t seconds, long nanoseconds = 0) {
        writeFile(root + name, {});
        setModified(root + name, seconds, nanoseconds);
    };
    QCOMPARE(newest(), u"none"_s); // no root
    QCOMPARE(reader.usage(codex), std::nullopt);
    // Not transcripts, however new: other extensions, a folder named *.jsonl, links.
    for (const QString &name : {u"p/a.JSONL"_s, u"p/a.json"_s, u"p/.jsonl"_s, u"p/f.jsonl/x"_s})
        add(name, 1900000000);
    setModified(root + u"p/f.jsonl"_s, 1900000000);
    add(u"../../outside/newest.jsonl"_s, 1950000000);
    QVERIFY(QFile::link(home.path(u"outside/newest.jsonl"_s), root + u"p/link.jsonl"_s));
    setModified(root + u"p/link.jsonl"_s, 1960000000);
    QVERIFY(QFile::link(home.path(u"outside"_s), root + u"p/linked"_s));
    QCOMPARE(newest(), u"none"_s);
    QCOMPARE(reader.usage(claude), std::nullopt);
    QVERIFY(reader.progress().isEmpty());
    // Hidden folders count; of equal times the first listed wins; nanoseconds decide.
    add(u"-home-ada-app/s.jsonl"_s, 1700000000);
    add(u".hidden/.h.jsonl"_s, 1800000000);
    QCOMPARE(newest(), root + u".hidden/.h.jsonl"_s);
    for (const char *name : {"a.jsonl", "b.jsonl", "c.jsonl", "d.jsonl"})
        add(u"q/"_s + QLatin1String(name), 1850000000, 5);
    QCOMPARE(newest(),
             root + u"q/"_s + QDir(root + u"q"_s).entryList(QDir::Files, QDir::Unsorted)[0]);
    for (long nanoseconds : {300L, 900L, 100L})
        add(u"n/"_s + QString::number(nanoseconds) + u".jsonl"_s, 1860000000, nanoseconds);
    QCOMPARE(newest(), root + u"n/900.jsonl"_s);
    // A project's folder narrows the search; a project without one does not.
    QCOMPARE(newest(u"/home/ada/app"_s), root + u"-home-ada-app/s.jsonl"_s);
    QCOMPARE(newest(u"/home/ada/none"_s), root + u"n/900.jsonl"_s);
}

QTEST_GUILESS_MAIN(TestTokenUsageReader)
#include "tst_tokenusagereader.moc"

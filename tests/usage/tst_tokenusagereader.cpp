#include "TranscriptHome.h"
#include "usage/TokenUsageReader.h"

#include <QTest>

#include <cstdio>
#include <limits>

using Lines = QList<QByteArray>;

char *toString(const TokenUsage &usage)
{
    const QByteArray text =
        "read " + QByteArray::number(usage.cacheRead) + ", write " +
        QByteArray::number(usage.cacheWrite) + ", fresh " + QByteArray::number(usage.freshInput) +
        ", output " + QByteArray::number(usage.output) + ", window " +
        (usage.contextWindow ? QByteArray::number(*usage.contextWindow) : QByteArray("none")) +
        ", used " + QByteArray::number(usage.contextUsed);
    return qstrdup(text.constData());
}

// The usage of a harness, or a value no test expects when there is none.
TokenUsage usageOf(TokenUsageReader &reader, const char *harness)
{
    return reader.usage(QString::fromLatin1(harness)).value_or(TokenUsage{-1, -1, -1, -1, {}, -1});
}

class TestTokenUsageReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void incompleteLastLine();
    void claudeCounting_data();
    void claudeCounting();
    void contextWindowFromModel_data();
    void contextWindowFromModel();
    void codexReplacement_data();
    void codexReplacement();
    void numberRule_data();
    void numberRule();
    void malformedLinesAreSkipped();
    void truncationAndRotation();
    void crlfLines();
    void lineLongerThanChunk_data();
    void lineLongerThanChunk();
    void realLookingTranscripts();
    void newestFile_data();
    void newestFile();
    void projectDirectory();
    void missingRoots();
    void resetStartsOver();
    void tokenUsageValues();
};

namespace {

constexpr qint64 int64Max = std::numeric_limits<qint64>::max();
constexpr qint64 int64Min = std::numeric_limits<qint64>::min();

TokenUsage counters(qint64 read, qint64 written, qint64 input, qint64 output,
                    std::optional<qint64> window, qint64 used)
{
    TokenUsage usage;
    usage.cacheRead = read;
    usage.cacheWrite = written;
    usage.freshInput = input;
    usage.output = output;
    usage.contextWindow = window;
    usage.contextUsed = used;
    return usage;
}

QByteArray joined(const Lines &lines)
{
    QByteArray all;
    for (const QByteArray &line : lines)
        all += line;
    return all;
}

} // namespace

void TestTokenUsageReader::incompleteLastLine()
{
    TranscriptHome home;
    const QString path = home.claudeRoot() + QStringLiteral("/-work-app/session.jsonl");
    const QByteArray line = claudeAssistantLine("msg_1", 100, 20, 3, 7);
    const QByteArray first = claudeAssistantLine("msg_0", 1, 1, 1, 1);
    TranscriptHome::write(path, first + line.left(40));

    TokenUsageReader reader(home.home());
    QCOMPARE(usageOf(reader, "claude-code"), counters(1, 1, 1, 1, 200000, 3));
    QCOMPARE(reader.progress().value(path).offset, quint64(first.size()));

    TranscriptHome::append(path, line.mid(40));
    const auto expected = counters(101, 21, 4, 8, 200000, 123);
    QCOMPARE(usageOf(reader, "claude-code"), expected);
    QCOMPARE(usageOf(reader, "claude-code"), expected);
    QCOMPARE(reader.progress().value(path).offset, quint64(first.size() + line.size()));
}

void TestTokenUsageReader::claudeCounting_data()
{
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<TokenUsage>("expected");
    QTest::newRow("repeated id counts its first line only")
        << Lines{claudeAssistantLine("msg_a", 10, 5, 2, 1),
                 claudeAssistantLine("msg_a", 10, 5, 2, 40),
                 claudeAssistantLine("msg_a", 10, 5, 2, 90)}
        << counters(10, 5, 2, 1, 200000, 17);
    QTest::newRow("lines without id all count")
        << Lines{claudeAssistantLine({}, 10, 5, 2, 1), claudeAssistantLine({}, 10, 5, 2, 1)}
        << counters(20, 10, 4, 2, 200000, 17);
    QTest::newRow("different ids add up, context is the latest")
        << Lines{claudeAssistantLine("msg_a", 10, 5, 2, 1),
                 claudeAssistantLine("msg_b", 30, 0, 1, 4)}
        << counters(40, 5, 3, 5, 200000, 31);
    QTest::newRow("non-string id counts every time")
        << Lines{QByteArray(R"({"message":{"id":7,"usage":{"output_tokens":2}}})"
                            "\n"),
                 QByteArray(R"({"message":{"id":7,"usage":{"output_tokens":2}}})"
                            "\n")}
        << counters(0, 0, 0, 4, {}, 0);
    QTest::newRow("id of a line without usage is not remembered")
        << Lines{QByteArray(R"({"message":{"id":"msg_c","content":"hi"}})"
                            "\n"),
                 QByteArray(R"({"message":{"id":"msg_c","usage":{"input_tokens":6}}})"
                            "\n")}
        << counters(0, 0, 6, 0, {}, 6);
    QTest::newRow("usage before id in the message")
        << Lines{QByteArray(R"({"message":{"usage":{"input_tokens":6},"id":"msg_d"}})"
                            "\n"),
                 QByteArray(R"({"message":{"usage":{"input_tokens":6},"id":"msg_d"}})"
                            "\n")}
        << counters(0, 0, 6, 0, {}, 6);
}

void TestTokenUsageReader::claudeCounting()
{
    QFETCH(Lines, lines);
    QFETCH(TokenUsage, expected);
    TranscriptHome home;
    TranscriptHome::write(home.claudeRoot() + QStringLiteral("/p/s.jsonl"), joined(lines));
    TokenUsageReader reader(home.home());
    QCOMPARE(usageOf(reader, "claude-code"), expected);
}

void TestTokenUsageReader::contextWindowFromModel_data()
{
    QTest::addColumn<QByteArrayList>("models");
    QTest::addColumn<std::optional<qint64>>("window");
    QTest::addColumn<std::optional<double>>("fraction");
    QTest::newRow("1m suffix") << QByteArrayList{"claude-sonnet-4-5[1m]"}
                               << std::optional<qint64>(1000000) << std::optional<double>(0.001);
    QTest::newRow("claude- prefix")
        << QByteArrayList{"claude-opus-4-1"} << std::optional<qint64>(200000)
        << std::optional<double>(0.005);
    QTest::newRow("other model") << QByteArrayList{"<synthetic>"} << std::optional<qint64>()
                                 << std::optional<double>();
    QTest::newRow("unknown then claude")
        << QByteArrayList{"gpt-5", "claude-haiku-4-5"} << std::optional<qint64>(200000)
        << std::optional<double>(0.005);
    QTest::newRow("first known window stays")
        << QByteArrayList{"claude-haiku-4-5", "claude-sonnet-4-5[1m]"}
        << std::optional<qint64>(200000) << std::optional<double>(0.005);
}

void TestTokenUsageReader::contextWindowFromModel()
{
    QFETCH(QByteArrayList, models);
    QFETCH(std::optional<qint64>, window);
    QFETCH(std::optional<double>, fraction);
    TranscriptHome home;
    QByteArray content;
    int n = 0;
    for (const QByteArray &model : models)
        content += claudeAssistantLine("msg_" + QByteArray::number(++n), 600, 300, 100, 1, model);
    TranscriptHome::write(home.claudeRoot() + QStringLiteral("/p/s.jsonl"), content);
    TokenUsageReader reader(home.home());
    const auto usage = reader.usage(QStringLiteral("claude-code"));
    QVERIFY(usage);
    QCOMPARE(usage->contextWindow, window);
    QCOMPARE(usage->contextUsed, 1000);
    QCOMPARE(usage->contextFraction(), fraction);
}

void TestTokenUsageReader::codexReplacement_data()
{
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<TokenUsage>("expected");
    const QByteArray noInfo =
        R"({"type":"event_msg","payload":{"type":"token_count","info":null,"rate_limits":{}}})"
        "\n";
    QTest::newRow("token_count without info is skipped")
        << Lines{noInfo} << counters(0, 0, 0, 0, {}, 0);
    QTest::newRow("complete line after one without info")
        << Lines{noInfo, codexTokenCountLine(1000, 50, 1500, 300, 200, 272000, 1200)}
        << counters(1000, 50, 500, 500, 272000, 1200);
    QTest::newRow("totals replace, never add")
        << Lines{codexTokenCountLine(1000, 0, 1500, 300, 200, 272000, 1200),
                 codexTokenCountLine(1000, 0, 1500, 300, 200, 272000, 1200),
                 codexTokenCountLine(4000, 10, 6000, 900, 100, 272000, 4100)}
        << counters(4000, 10, 2000, 1000, 272000, 4100);
    QTest::newRow("fresh input never negative")
        << Lines{codexTokenCountLine(900, 0, 100, 1, 0, 128000, 5)}
        << counters(900, 0, 0, 1, 128000, 5);
    QTest::newRow("window 0 and last input 0 keep earlier values")
        << Lines{codexTokenCountLine(10, 0, 20, 1, 0, 272000, 15),
                 codexTokenCountLine(30, 0, 40, 2, 0, 0, 0)}
        << counters(30, 0, 10, 2, 272000, 15);
    QTest::newRow("other payload types and other events are ignored")
        << Lines{QByteArray(
                     R"({"type":"response_item","payload":{"type":"message","role":"user","content":[{"type":"input_text","text":"token_count"}]}})"
                     "\n"),
                 QByteArray(
                     R"({"payload":{"type":"agent_reasoning","info":{"total_token_usage":{"input_tokens":5}}}})"
                     "\n")}
        << counters(0, 0, 0, 0, {}, 0);
    QTest::newRow("type after info and a fractional window")
        << Lines{QByteArray(
               R"({"payload":{"info":{"total_token_usage":{"input_tokens":5,"output_tokens":2},"model_context_window":1000.5},"type":"token_count"}})"
               "\n")}
        << counters(0, 0, 5, 2, {}, 0);
}

void TestTokenUsageReader::codexReplacement()
{
    QFETCH(Lines, lines);
    QFETCH(TokenUsage, expected);
    TranscriptHome home;
    TranscriptHome::write(home.codexRoot() +
                              QStringLiteral("/2026/01/05/rollout-2026-01-05T10-00-00-x.jsonl"),
                          joined(lines));
    TokenUsageReader reader(home.home());
    QCOMPARE(usageOf(reader, "codex"), expected);
}

void TestTokenUsageReader::numberRule_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("integer") << QByteArray("42") << qint64(42);
    QTest::newRow("negative integer") << QByteArray("-5") << qint64(-5);
    QTest::newRow("fraction truncates") << QByteArray("12.9") << qint64(12);
    QTest::newRow("negative fraction truncates toward zero") << QByteArray("-3.7") << qint64(-3);
    QTest::newRow("exponent") << QByteArray("1.5e3") << qint64(1500);
    QTest::newRow("string") << QByteArray("\"12\"") << qint64(0);
    QTest::newRow("null") << QByteArray("null") << qint64(0);
    QTest::newRow("true") << QByteArray("true") << qint64(0);
    QTest::newRow("object") << QByteArray("{\"n\":3}") << qint64(0);
    QTest::newRow("array") << QByteArray("[3]") << qint64(0);
    QTest::newRow("largest int64") << QByteArray("9223372036854775807") << int64Max;
    QTest::newRow("above int64") << QByteArray("9223372036854775808") << int64Max;
    QTest::newRow("beyond 64 bits") << QByteArray("123456789012345678901234567890") << int64Max;
    QTest::newRow("below int64") << QByteArray("-123456789012345678901234567890") << int64Min;
    QTest::newRow("huge double") << QByteArray("1e300") << int64Max;
}

void TestTokenUsageReader::numberRule()
{
    QFETCH(QByteArray, value);
    QFETCH(qint64, expected);
    TranscriptHome home;
    // Every counter of both dialects goes through the same rule; the key after the odd value
    // shows the rest of the object is still read.
    TranscriptHome::write(home.claudeRoot() + QStringLiteral("/p/s.jsonl"),
                          "{\"message\":{\"usage\":{\"output_tokens\":" + value +
                              ",\"input_tokens\":1}}}\n");
    TranscriptHome::write(home.codexRoot() + QStringLiteral("/s.jsonl"),
                          "{\"payload\":{\"type\":\"token_count\",\"info\":{\"total_token_usage\":"
                          "{\"reasoning_output_tokens\":" +
                              value + ",\"input_tokens\":1}}}}\n");
    TokenUsageReader reader(home.home());
    const auto claude = reader.usage(QStringLiteral("claude-code"));
    QVERIFY(claude);
    QCOMPARE(claude->output, expected);
    QCOMPARE(claude->freshInput, 1);
    const auto codex = reader.usage(QStringLiteral("codex"));
    QVERIFY(codex);
    QCOMPARE(codex->output, expected);
    QCOMPARE(codex->freshInput, 1);
}

void TestTokenUsageReader::malformedLinesAreSkipped()
{
    TranscriptHome home;
    const QString path = home.claudeRoot() + QStringLiteral("/p/s.jsonl");
    TranscriptHome::write(path,
                          "not json at all\n"
                          "[1,2,3]\n"
                          "\n"
                          "{\"message\":{\"id\":\"msg_t\",\"usage\":{\"output_tokens\":1000}\n"
                          "{\"message\":\"text\"}\n"
                          "{\"message\":{\"usage\":[1]}}\n"
                          "{\"message\":{\"usage\":{\"output_tokens\":1}}}\n"
                          "{\"message\":{\"usage\":{\"output_tokens\":1}}} trailing\n"
                          "{\"message\":{\"id\":\"msg_t\",\"usage\":{\"output_tokens\":5}}}\n"
                          "{\"message\":{\"usage\":{\"output_tokens\":\xff}}}\n");
    TokenUsageReader reader(home.home());
    const auto usage = reader.usage(QStringLiteral("claude-code"));
    QVERIFY(usage);
    // The truncated msg_t line does not claim the id; the later complete one counts.
    QCOMPARE(usage->output, 6);
    QVERIFY(reader.progress().value(path).countedMessageIDs.contains(std::string_view("msg_t")));
}

void TestTokenUsageReader::truncationAndRotation()
{
    TranscriptHome home;
    const QString path = home.claudeRoot() + QStringLiteral("/p/s.jsonl");
    const QByteArray a = claudeAssistantLine("msg_a", 100, 0, 1, 10);
    const QByteArray b = claudeAssistantLine("msg_b", 200, 0, 1, 20);
    const QByteArray anonymous = claudeAssistantLine({}, 0, 0, 0, 3);
    TranscriptHome::write(path, a + b + b + anonymous);
    TokenUsageReader reader(home.home());
    QCOMPARE(usageOf(reader, "claude-code").output, 33);

    // Truncated below the offset: read again from the start, nothing cleared, ids not
    // counted twice; the line without id is counted again, as any re-read line without id is.
    TranscriptHome::write(path, a + anonymous);
    QCOMPARE(usageOf(reader, "claude-code").output, 36);
    QCOMPARE(reader.progress().value(path).offset, quint64(a.size() + anonymous.size()));

    // Replaced by a new, longer file renamed over it: read from its start as well.
    const QByteArray c = claudeAssistantLine("msg_c", 0, 0, 0, 100);
    TranscriptHome::write(path + QStringLiteral(".new"), b + c + c);
    QCOMPARE(::rename(QFile::encodeName(path + QStringLiteral(".new")).constData(),
                      QFile::encodeName(path).constData()),
             0);
    QCOMPARE(usageOf(reader, "claude-code").output, 136);
}

void TestTokenUsageReader::crlfLines()
{
    TranscriptHome home;
    QByteArray content = claudeAssistantLine("msg_a", 1, 2, 3, 4);
    content.chop(1);
    content += "\r\n";
    content += "{\"message\":{\"usage\":{\"output_tokens\":6}}}\r\n";
    TranscriptHome::write(home.claudeRoot() + QStringLiteral("/p/s.jsonl"), content);
    TranscriptHome::write(home.codexRoot() + QStringLiteral("/s.jsonl"),
                          codexTokenCountLine(1, 0, 5, 2, 0, 100, 3).chopped(1) + "\r\n");
    TokenUsageReader reader(home.home());
    QCOMPARE(usageOf(reader, "claude-code"), counters(1, 2, 3, 10, 200000, 0));
    QCOMPARE(usageOf(reader, "codex"), counters(1, 0, 4, 2, 100, 3));
}

void TestTokenUsageReader::lineLongerThanChunk_data()
{
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<QByteArray>("appended");
    QTest::addColumn<TokenUsage>("afterWritten");
    QTest::addColumn<TokenUsage>("afterAppended");

    const qsizetype chunk = qsizetype(TokenUsageReader::chunkSize);
    const QByteArray filler(chunk * 5 / 2, 'x');
    const QByteArray shortLine = claudeAssistantLine("msg_short", 1, 1, 1, 1);
    const TokenUsage shortOnly = counters(1, 1, 1, 1, 200000, 3);
    const auto usageLine = [&](const QByteArray &id, const QByteArray &before,
                               const QByteArray &after) -> QByteArray {
        return "{\"message\":{\"id\":\"" + id + "\",\"content\":\"" + before +
               "\",\"usage\":{\"input_tokens\":7,\"output_tokens\":11},\"stop\":\"" + after +
               "\"}}\n";
    };
    const QByteArray toolResult = "{\"type\":\"user\",\"message\":{\"role\":\"user\",\"content\":[{"
                                  "\"type\":\"tool_result\",\"content\":\"" +
                                  filler + "\"}]}}\n";

    QTest::newRow("usage after the first chunk")
        << QByteArray(shortLine + usageLine("msg_long", filler, {})) << QByteArray()
        << counters(1, 1, 8, 12, 200000, 7) << counters(1, 1, 8, 12, 200000, 7);
    QTest::newRow("usage before the long content")
        << QByteArray(usageLine("msg_long", {}, filler) + shortLine) << QByteArray()
        << counters(1, 1, 8, 12, 200000, 3) << counters(1, 1, 8, 12, 200000, 3);
    // The line starts at offset 0, so the first read ends inside the quoted key.
    const QByteArray straddling = usageLine("m", QByteArray(chunk - 40, 'y'), filler);
    QVERIFY(straddling.indexOf("\"usage\"") < chunk && straddling.indexOf("\"usage\"") + 7 > chunk);
    QTest::newRow("usage across the first read")
        << straddling << QByteArray() << counters(0, 0, 7, 11, {}, 7)
        << counters(0, 0, 7, 11, {}, 7);
    QTest::newRow("long line without usage is skipped")
        << QByteArray(toolResult + shortLine + toolResult) << shortLine << shortOnly << shortOnly;
    QTest::newRow("unfinished long line, usage in its rest")
        << QByteArray(shortLine + usageLine("msg_long", filler, filler).left(chunk * 3))
        << usageLine("msg_long", filler, filler).mid(chunk * 3) << shortOnly
        << counters(1, 1, 8, 12, 200000, 7);
    QTest::newRow("unfinished long line without usage")
        << QByteArray(shortLine + toolResult.left(chunk * 2))
        << QByteArray(toolResult.mid(chunk * 2)) << shortOnly << shortOnly;
}

void TestTokenUsageReader::lineLongerThanChunk()
{
    QFETCH(QByteArray, written);
    QFETCH(QByteArray, appended);
    QFETCH(TokenUsage, afterWritten);
    QFETCH(TokenUsage, afterAppended);
    TranscriptHome home;
    const QString path = home.claudeRoot() + QStringLiteral("/p/s.jsonl");
    TranscriptHome::write(path, written);
    TokenUsageReader reader(home.home());
    QCOMPARE(usageOf(reader, "claude-code"), afterWritten);
    QCOMPARE(reader.progress().value(path).offset, quint64(written.lastIndexOf('\n') + 1));
    TranscriptHome::append(path, appended);
    QCOMPARE(usageOf(reader, "claude-code"), afterAppended);
    const QByteArray all = written + appended;
    QCOMPARE(reader.progress().value(path).offset, quint64(all.lastIndexOf('\n') + 1));
    // What one reader saw in two steps, a fresh reader sees at once.
    TokenUsageReader fresh(home.home());
    QCOMPARE(usageOf(fresh, "claude-code"), afterAppended);
}

void TestTokenUsageReader::realLookingTranscripts()
{
    TranscriptHome home;
    const QByteArray bigResult(300000, 'r');
    const QByteArray claude =
        R"({"type":"summary","summary":"Refactor the usage parser","leafUuid":"a1"})"
        "\n"
        R"({"type":"file-history-snapshot","messageId":"m0","snapshot":{"trackedFileBackups":{}},"isSnapshotUpdate":false})"
        "\n"
        R"({"parentUuid":null,"isSidechain":false,"userType":"external","cwd":"/home/ada/app","sessionId":"s1","version":"2.0.31","type":"user","message":{"role":"user","content":"Please read the log and explain \"usage\": {\"output_tokens\": 99}"},"uuid":"u1","timestamp":"2026-01-05T10:00:00.000Z"})"
        "\n"
        R"({"parentUuid":"u1","type":"assistant","message":{"model":"claude-opus-4-1-20250805","id":"msg_01","type":"message","role":"assistant","content":[{"type":"thinking","thinking":"Let me look.","signature":"abc"}],"stop_reason":null,"usage":{"input_tokens":4,"cache_creation_input_tokens":5000,"cache_read_input_tokens":12000,"cache_creation":{"ephemeral_5m_input_tokens":5000,"ephemeral_1h_input_tokens":0},"output_tokens":2,"service_tier":"standard"}},"requestId":"req_01","uuid":"a1"})"
        "\n"
        R"({"parentUuid":"a1","type":"assistant","message":{"model":"claude-opus-4-1-20250805","id":"msg_01","type":"message","role":"assistant","content":[{"type":"tool_use","id":"toolu_1","name":"Read","input":{"file_path":"/home/ada/app/log.txt"}}],"stop_reason":"tool_use","usage":{"input_tokens":4,"cache_creation_input_tokens":5000,"cache_read_input_tokens":12000,"output_tokens":180,"service_tier":"standard"}},"requestId":"req_01","uuid":"a2"})"
        "\n"
        R"({"parentUuid":"a2","type":"user","message":{"role":"user","content":[{"tool_use_id":"toolu_1","type":"tool_result","content":")" +
        bigResult + R"("}]},"toolUseResult":{"stdout":")" + bigResult +
        R"(","stderr":"","interrupted":false},"uuid":"u2"})"
        "\n"
        R"({"type":"system","subtype":"compact_boundary","content":"Conversation compacted","isMeta":false,"compactMetadata":{"trigger":"auto","preTokens":150000}})"
        "\n"
        R"({"parentUuid":"u2","isSidechain":true,"type":"assistant","message":{"model":"<synthetic>","role":"assistant","content":[{"type":"text","text":"No response requested."}],"usage":{"input_tokens":0,"output_tokens":0,"cache_creation_input_tokens":0,"cache_read_input_tokens":0}},"uuid":"a3"})"
        "\n"
        R"({"parentUuid":"a3","type":"assistant","message":{"model":"claude-opus-4-1-20250805","id":"msg_02","type":"message","role":"assistant","content":[{"type":"text","text":"The log shows two failed requests."}],"stop_reason":"end_turn","usage":{"input_tokens":10,"cache_creation_input_tokens":80000,"cache_read_input_tokens":17000,"output_tokens":420,"service_tier":"standard"}},"requestId":"req_02","uuid":"a4"})"
        "\n";
    TranscriptHome::write(home.claudeRoot() + QStringLiteral("/-home-ada-app/2b6e.jsonl"), claude);

    const QByteArray codex =
        R"({"timestamp":"2026-01-05T10:00:00.000Z","type":"session_meta","payload":{"id":"0199","cwd":"/home/ada/app","originator":"codex_cli_rs","cli_version":"0.46.0","instructions":null}})"
        "\n"
        R"({"timestamp":"2026-01-05T10:00:01.000Z","type":"turn_context","payload":{"cwd":"/home/ada/app","approval_policy":"on-request","model":"gpt-5-codex","effort":"medium"}})"
        "\n"
        R"({"timestamp":"2026-01-05T10:00:02.000Z","type":"response_item","payload":{"type":"message","role":"user","content":[{"type":"input_text","text":")" +
        bigResult +
        R"("}]}})"
        "\n"
        R"({"timestamp":"2026-01-05T10:00:03.000Z","type":"event_msg","payload":{"type":"token_count","info":null,"rate_limits":{"primary":{"used_percent":2.0,"window_minutes":300}}}})"
        "\n"
        R"({"timestamp":"2026-01-05T10:00:04.000Z","type":"response_item","payload":{"type":"function_call","name":"shell","arguments":"{\"command\":[\"ls\"]}","call_id":"call_1"}})"
        "\n"
        R"({"timestamp":"2026-01-05T10:00:05.000Z","type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":9000,"cached_input_tokens":4000,"output_tokens":300,"reasoning_output_tokens":128,"total_tokens":9300},"last_token_usage":{"input_tokens":9000,"cached_input_tokens":4000,"output_tokens":300,"reasoning_output_tokens":128,"total_tokens":9300},"model_context_window":272000},"rate_limits":null}})"
        "\n"
        R"({"timestamp":"2026-01-05T10:00:06.000Z","type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":9000,"cached_input_tokens":4000,"output_tokens":300,"reasoning_output_tokens":128,"total_tokens":9300},"last_token_usage":{"input_tokens":9000,"cached_input_tokens":4000,"output_tokens":300,"reasoning_output_tokens":128,"total_tokens":9300},"model_context_window":272000},"rate_limits":null}})"
        "\n"
        R"({"timestamp":"2026-01-05T10:00:07.000Z","type":"event_msg","payload":{"type":"agent_message","message":"Done."}})"
        "\n";
    TranscriptHome::write(home.codexRoot() +
                              QStringLiteral("/2026/01/05/rollout-2026-01-05T10-00-00-0199.jsonl"),
                          codex);

    TokenUsageReader reader(home.home());
    QCOMPARE(usageOf(reader, "claude-code"), counters(29000, 85000, 14, 422, 200000, 97010));
    QCOMPARE(usageOf(reader, "codex"), counters(4000, 0, 5000, 428, 272000, 9000));
}

void TestTokenUsageReader::newestFile_data()
{
    QTest::addColumn<QString>("layout");
    QTest::newRow("equal times: first listed wins") << QStringLiteral("tie");
    QTest::newRow("nanoseconds decide") << QStringLiteral("nanoseconds");
    QTest::newRow("not transcripts") << QStringLiteral("ignored");
}

void TestTokenUsageReader::newestFile()
{
    QFETCH(QString, layout);
    TranscriptHome home;
    const QString root = home.claudeRoot();
    const QString older = root + QStringLiteral("/p/older.jsonl");
    TranscriptHome::write(older, {});
    TranscriptHome::setModified(older, 1700000000);
    QString expected = older;
    if (layout == u"tie") {
        for (const char *name : {"a.jsonl", "b.jsonl", "c.jsonl", "d.jsonl"}) {
            const QString path = root + QStringLiteral("/q/") + QLatin1String(name);
            TranscriptHome::write(path, {});
            TranscriptHome::setModified(path, 1800000000, 5);
        }
        // The directory's own listing order, unsorted.
        const QStringList listed =
            QDir(root + QStringLiteral("/q")).entryList(QDir::Files, QDir::Unsorted);
        expected = root + QStringLiteral("/q/") + listed.first();
    } else if (layout == u"nanoseconds") {
        for (long nanoseconds : {300L, 900L, 100L}) {
            const QString path = root + QStringLiteral("/n/") + QString::number(nanoseconds) +
                                 QStringLiteral(".jsonl");
            TranscriptHome::write(path, {});
            TranscriptHome::setModified(path, 1800000000, nanoseconds);
        }
        expected = root + QStringLiteral("/n/900.jsonl");
    } else {
        const QString upper = root + QStringLiteral("/p/new.JSONL");
        const QString other = root + QStringLiteral("/p/new.json");
        const QString folder = root + QStringLiteral("/p/folder.jsonl/inside.txt");
        const QString bare = root + QStringLiteral("/p/.jsonl");
        for (const QString &path : {upper, other, folder, bare}) {
            TranscriptHome::write(path, {});
            TranscriptHome::setModified(path, 1900000000);
        }
        TranscriptHome::setModified(root + QStringLiteral("/p/folder.jsonl"), 1900000000);
        // Links are not followed, to files or to folders, however new their targets.
        const QString target = home.home() + QStringLiteral("/outside/newest.jsonl");
        TranscriptHome::write(target, {});
        TranscriptHome::setModified(target, 1950000000);
        QVERIFY(QFile::link(target, root + QStringLiteral("/p/link.jsonl")));
        QVERIFY(QFile::link(home.home() + QStringLiteral("/outside"),
                            root + QStringLiteral("/p/linked")));
        const QString linkItself = root + QStringLiteral("/p/link.jsonl");
        const timespec linkTimes[2] = {{1960000000, 0}, {1960000000, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(linkItself).constData(), linkTimes,
                             AT_SYMLINK_NOFOLLOW),
                 0);
        QDir().mkpath(root + QStringLiteral("/p/.hidden"));
        const QString hidden = root + QStringLiteral("/p/.hidden/.h.jsonl");
        TranscriptHome::write(hidden, {});
        TranscriptHome::setModified(hidden, 1850000000);
        expected = hidden;
    }
    TokenUsageReader reader(home.home());
    QCOMPARE(reader.activeSessionPath(QStringLiteral("claude-code")),
             std::optional<QString>(expected));
}

void TestTokenUsageReader::projectDirectory()
{
    TranscriptHome home;
    const QString inProject = home.claudeRoot() + QStringLiteral("/-home-ada-app/s.jsonl");
    const QString newest = home.claudeRoot() + QStringLiteral("/-home-ada-other/s.jsonl");
    TranscriptHome::write(inProject, {});
    TranscriptHome::setModified(inProject, 1700000000);
    TranscriptHome::write(newest, {});
    TranscriptHome::setModified(newest, 1800000000);
    const QString codex = home.codexRoot() + QStringLiteral("/s.jsonl");
    TranscriptHome::write(codex, {});

    TokenUsageReader reader(home.home());
    const QString claudeCode = QStringLiteral("claude-code");
    QCOMPARE(reader.activeSessionPath(claudeCode, QStringLiteral("/home/ada/app")), inProject);
    QCOMPARE(reader.activeSessionPath(claudeCode, QStringLiteral("/home/ada/none")), newest);
    QCOMPARE(reader.activeSessionPath(claudeCode), newest);
    QCOMPARE(reader.activeSessionPath(QStringLiteral("codex"), QStringLiteral("/home/ada/app")),
             codex);
}

void TestTokenUsageReader::missingRoots()
{
    TranscriptHome home;
    TokenUsageReader reader(home.home());
    QCOMPARE(reader.activeSessionPath(QStringLiteral("claude-code")), std::nullopt);
    QCOMPARE(reader.usage(QStringLiteral("claude-code")), std::nullopt);
    QCOMPARE(reader.usage(QStringLiteral("codex")), std::nullopt);
    // A root without transcripts, and a harness without any.
    QDir().mkpath(home.claudeRoot() + QStringLiteral("/empty"));
    TranscriptHome::write(home.home() + QStringLiteral("/.opencode/sessions/s.jsonl"),
                          claudeAssistantLine("m", 1, 1, 1, 1));
    QCOMPARE(reader.usage(QStringLiteral("claude-code")), std::nullopt);
    QCOMPARE(reader.usage(QStringLiteral("opencode")), std::nullopt);
    QVERIFY(reader.progress().isEmpty());
}

void TestTokenUsageReader::resetStartsOver()
{
    TranscriptHome home;
    const QString path = home.claudeRoot() + QStringLiteral("/p/s.jsonl");
    TranscriptHome::write(path, claudeAssistantLine("msg_a", 1, 2, 3, 4));
    TokenUsageReader reader(home.home());
    const TokenUsage first = usageOf(reader, "claude-code");
    QCOMPARE(first, counters(1, 2, 3, 4, 200000, 6));
    QCOMPARE(usageOf(reader, "claude-code"), first);
    reader.reset();
    QVERIFY(reader.progress().isEmpty());
    QCOMPARE(usageOf(reader, "claude-code"), first);
    QCOMPARE(reader.progress().size(), 1);
}

void TestTokenUsageReader::tokenUsageValues()
{
    QCOMPARE(counters(1, 2, 3, 4, {}, 100).total(), 10);
    QCOMPARE(counters(int64Max, 1, 0, 0, {}, 0).total(), int64Max);
    QCOMPARE(counters(0, 0, 0, 0, 200000, 300000).contextFraction(), std::optional<double>(1.0));
    QCOMPARE(counters(0, 0, 0, 0, 200000, 50000).contextFraction(), std::optional<double>(0.25));
    QCOMPARE(counters(0, 0, 0, 0, 200000, -50000).contextFraction(), std::optional<double>(-0.25));
    QCOMPARE(counters(0, 0, 0, 0, 0, 5).contextFraction(), std::nullopt);
    QCOMPARE(counters(0, 0, 0, 0, {}, 5).contextFraction(), std::nullopt);
    QVERIFY(counters(0, 0, 0, 0, {}, 0) != counters(0, 0, 0, 0, 0, 0));
    QVERIFY(TokenUsage() == counters(0, 0, 0, 0, {}, 0));
}

QTEST_GUILESS_MAIN(TestTokenUsageReader)
#include "tst_tokenusagereader.moc"

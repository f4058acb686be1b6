#include "TranscriptHome.h"
#include "support/ManualClock.h"
#include "usage/DesktopSessionFileTracker.h"
#include "usage/KeySearch.h"
#include "usage/TokenUsageReader.h"
#include "usage/TranscriptWalk.h"

#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using namespace Usage;
using U = TokenUsage;

namespace {

constexpr std::int64_t W = 200000; // the window of "claude-" models
constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
constexpr Manifest::KnownHarness claude = Manifest::KnownHarness::ClaudeCode, codex = Manifest::KnownHarness::Codex;

const auto lines = [](QByteArray text, bool crlf = false) {
    return text.append('\n').replace('\n', crlf ? "\r\n" : "\n");
};

// A transcript as first written and the usage then, what is appended and the usage and quota
// after it.
struct Row
{
    Manifest::KnownHarness harness;
    QByteArray written, appended;
    U first, second;
    QuotaWindows quota;
};
void row(const char *name, Manifest::KnownHarness harness, const QByteArray &written,
         const U &first, const QByteArray &appended = {}, const std::optional<U> &second = {},
         const QuotaWindows &quota = {})
{
    QTest::newRow(name) << Row{harness, written, appended, first, second.value_or(first), quota};
}

} // namespace

class TestUsage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keySearch_data();
    void keySearch();
    void reading_data();
    void reading();
    void readBudget_data();
    void readBudget();
    void transcriptFiles();
    void projectDirectory_data();
    void projectDirectory();
    void claudeRoots();
    void orvaneUsage_data();
    void orvaneUsage();
    void trackerLifecycle();
};

// The vector searches against the plain one, at every alignment and with the text ending
// exactly where its buffer does (the sanitizer sees any read past it).
void TestUsage::keySearch_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<int>("found"); // -1: absent
    QTest::addColumn<int>("lineStart");
    const QByteArray usage = "\"usage\"";
    QTest::newRow("absent, near misses") << QByteArray(R"("usagE" "usag" "us" "u" "xusage" u)")
                                         << usage << -1 << -1;
    QTest::newRow("first, last and middle bytes match, the rest does not")
        << QByteArray(R"("uXXXe" "usaXe" "Xsage" "usag"")").repeated(4) + "\"usage\"" << usage
        << 124 << 0;
    QTest::newRow("at the start") << usage + "\n" << usage << 0 << 0;
    QTest::newRow("the last bytes, the line after several")
        << QByteArray("a\nbb\n").repeated(20) + QByteArray(40, 'x') + usage << usage << 140 << 100;
    QTest::newRow("a newline just before, and just after in the same block")
        << QByteArray(40, 'x') + "\n" + usage + "\n" + QByteArray(40, 'y') << usage << 41 << 41;
    QTest::newRow("second of two on one line") << QByteArray("ab \"usage\" \"usage\"\n")
                                               << usage << 3 << 0;
    QTest::newRow("two-byte key, overlapping candidates") << QByteArray("aaab\nab") << QByteArray("ab")
                                                          << 2 << 0;
    QTest::newRow("codex key across a block end")
        << QByteArray(27, ' ') + "\n" + QByteArray(3, ' ') + "\"token_count\"" << QByteArray("\"token_count\"")
        << 31 << 28;
}

void TestUsage::keySearch()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, key);
    QFETCH(int, found);
    QFETCH(int, lineStart);
    const std::string_view needle(key.constData(), std::size_t(key.size()));
    using Level = KeySearch::Level;
    const std::vector<Level> levels = {Level::Scalar, Level::Sse2, Level::Avx2};
    for (int shift = 0; shift < 70; ++shift) {
        // SHIFT bytes of another line before the text.
        const QByteArray shifted = QByteArray(shift, 'z').append(shift ? "\n" : "") + text;
        const int offset = int(shifted.size() - text.size());
        const auto exact = std::make_unique<char[]>(std::size_t(shifted.size()));
        std::memcpy(exact.get(), shifted.constData(), std::size_t(shifted.size()));
        const char *end = exact.get() + shifted.size();
        for (const Level level : levels) {
            if (level > KeySearch::best())
                continue;
            const KeySearch::Hit hit = KeySearch::find(exact.get(), end, needle, level);
            const int at = hit.key ? int(hit.key - exact.get()) - offset : -1;
            const int start = hit.key ? int(hit.lineStart - exact.get()) - offset : -1;
            QVERIFY2(at == found && start == lineStart,
                     qPrintable(u"level %1, shift %2: key at %3, line at %4"_s.arg(int(level))
                                    .arg(shift).arg(at).arg(start)));
        }
    }
}

void TestUsage::reading_data()
{
    QTest::addColumn<Row>("row");
    const QByteArray a = claudeLine("a", 1, 1, 1, 1), b = claudeLine("b", 100, 20, 3, 7);
    row("incomplete last line counts once completed", claude, a + b.left(40), U{1, 1, 1, 1, W, 3},
        b.mid(40), U{101, 21, 4, 8, W, 123});
    row("an id counts its last line, lines without id all count, CRLF line ends", claude,
        lines(claudeLine("b", 10, 5, 2, 1) + claudeLine("b", 10, 5, 2, 40) +
                  claudeLine("", 10, 5, 2, 1).repeated(2) + a.chopped(1),
              true),
        U{31, 16, 7, 43, W, 3}, claudeLine("b", 10, 5, 2, 90), U{31, 16, 7, 93, W, 17});
    row("an id's lines between other ids', its last one lower", claude,
        claudeLine("c", 4, 0, 0, 50) + claudeLine("d", 0, 0, 0, 7) + claudeLine("c", 4, 0, 0, 5),
        U{4, 0, 0, 12, W, 4});
    row("models: no window until a claude- one, [1m] is 1000000, the first window stays", claude,
        claudeLine("a", 1, 0, 0, 0, "<synthetic>"), U{1, 0, 0, 0, {}, 1},
        claudeLine("b", 1, 0, 0, 0, "claude-x[1m]") + claudeLine("c", 1, 0, 0, 0, "claude-h"),
        U{3, 0, 0, 0, 1000000, 1});
    row("malformed lines skipped; ids: non-string ones count always, only usage claims one", claude,
        lines(R"({"message":{"id":7,"usage":{"output_tokens":2}}}
{"message":{"id":7,"usage":{"output_tokens":2}}}
{"message":{"id":"c","content":"hi"}}
{"message":{"id":"c","usage":{"input_tokens":6}}}
{"message":{"usage":{"input_tokens":6},"id":"c"}}
not json
{"message":{"id":"t","usage":{"output_tokens":1000}
{"message":{"id":"u","usage":{"output_tokens":1000}}
{"message":{"usage":[1]}}
{"message":{"id":"t","usage":{"output_tokens":5}}}
{"message":{"usage":{"output_tokens":1}}} trailing)"),
        U{0, 0, 6, 9, {}, 0});
    row("numbers: truncated toward zero, strings 0; beyond 64 bits clamped", claude,
        lines(
            R"({"message":{"usage":{"cache_read_input_tokens":12.9,"cache_creation_input_tokens":"12","input_tokens":-3.7,"output_tokens":1.5e3}}})"),
        U{12, 0, -3, 1500, {}, 9},
        lines(
            R"({"message":{"usage":{"cache_read_input_tokens":9223372036854775808,"cache_creation_input_tokens":-123456789012345678901234567890,"input_tokens":1e300,"output_tokens":123456789012345678901234567890}}})"),
        U{max, -max - 1, max - 3, max, {}, max - 1});

    row("numbers beyond a double saturate as well", claude,
        lines(R"({"message":{"usage":{"cache_read_input_tokens":1e400,"cache_creation_input_tokens":-1e400,"input_tokens":1e19,"output_tokens":-0.5e1}}})"),
        U{max, -max - 1, max, -5, {}, max - 1}); // context: max + min + max
    // A number beyond a double elsewhere on the line must not change how the others read: a
    // double rounds these integers up to 2^63.
    row("numbers near the 64-bit limit keep their value beside one beyond a double", claude,
        lines(R"({"message":{"usage":{"x":1e400,"output_tokens":9223372036854775608,"input_tokens":-9223372036854775608}}})"),
        U{0, 0, -max + 199, max - 199, {}, -max + 199});
    row("a window near the 64-bit limit beside a number beyond a double", codex,
        lines(R"({"payload":{"type":"token_count","info":{"total_token_usage":{"x":-1e400,"input_tokens":9223372036854775805},"model_context_window":9223372036854775805}}})"),
        U{0, 0, max - 2, 0, max - 2, 0});
    // Each invalid line holds a usage that would add 1000 output tokens; the valid ones add 1.
    const QByteArray valid = R"({"message":{"usage":{"output_tokens":1}}})";
    row("a line a validating parser rejects never counts", claude,
        lines(valid + R"(
{"message":{"usage":{"output_tokens":1000}},"x":[1 2]}
{"message":{"usage":{"output_tokens":1000}}
{"message":{"usage":{"output_tokens":1000,}}}
{"message":{"usage":{"output_tokens":1000}},"x":tru}
usage {"message":{"usage":{"output_tokens":1000}}}
{"message":{"usage":{"output_tokens":1000}}} {}
{"message":{"usage":{"output_tokens":1000}},"s":"a	b"}
{"message":{"usage":{"output_tokens":1000}},"s":"\q"}
{"message":{"usage":{"output_tokens":1000}},"s":"\"}
{"message":{"usage":{"output_tokens":1000}},"s":"@"}
{"message":{"usage":{"output_tokens":1000}},"n":01}
{"message":{"usage":{"output_tokens":1000}},"n":1.e5}
{"message":{"usage":{"output_tokens":1000}},"n":1e400.5}
{'message':{'usage':{'output_tokens':1000}}}
)" + valid + "\n" + R"({"message":{"usage":{"output_tokens":1}},"s":"\u00e9\ud83d\ude80 é \" \\ \/ \b\f\n\r\t"})")
            .replace('@', "\xff\xfe"),
        U{0, 0, 0, 3, {}, 0},
        lines(R"({"message":{"usage":{"output_tokens":1000}},"s":")" + QByteArray("\xc3\x28") +
              "\"}\n" + valid),
        U{0, 0, 0, 4, {}, 0});

    const QByteArray c1 = codexLine(1000, 50, 1500, 300, 200, 272000, 1200);
    row("codex: totals replace, fresh input clamps at 0, window and last input below 1 kept", codex,
        lines(c1 + c1 + R"({"payload":{"type":"token_count","info":null}})" + '\n' +
                  codexLine(7, 7, 7, 7, 7, 7, 7).chopped(2),
              true),
        U{1000, 50, 500, 500, 272000, 1200}, codexLine(900, 0, 100, 1, 0, 0, 0),
        U{900, 0, 0, 1, 272000, 1200});

    // Lines longer than the read chunk.
    const qsizetype chunk = qsizetype(TokenUsageReader::chunkSize);
    const QByteArray filler(chunk * 5 / 2, 'x');
    const auto longLine = [](const QByteArray &before, const QByteArray &after) -> QByteArray {
        return R"({"message":{"content":")" + before +
               R"(","usage":{"input_tokens":7,"output_tokens":11},"stop":")" + after + "\"}}\n";
    };
    row("long line: usage across the first read", claude, // its key at chunk - 3
        longLine(QByteArray(chunk - 28, 'y'), filler), U{0, 0, 7, 11, {}, 7});
    const QByteArray longest = longLine(filler, filler);
    row("unfinished long line, usage in its rest", claude, a + longest.left(chunk * 3),
        U{1, 1, 1, 1, W, 3}, longest.mid(chunk * 3), U{1, 1, 8, 12, W, 7});

    // Real-looking transcripts; "@" stands for content longer than the read chunk.
    row("real Claude Code transcript", claude,
        lines(R"({"type":"summary","summary":"Refactor the usage parser","leafUuid":"a1"}
{"parentUuid":null,"cwd":"/home/ada/app","sessionId":"s1","type":"user","message":{"role":"user","content":"Explain \"usage\": {\"output_tokens\": 99}"},"uuid":"u1"}
{"parentUuid":"u1","type":"assistant","message":{"model":"claude-opus-4-1-20250805","id":"msg_01","type":"message","role":"assistant","content":[{"type":"thinking","thinking":"Let me look.","signature":"abc"}],"stop_reason":null,"usage":{"input_tokens":4,"cache_creation_input_tokens":5000,"cache_read_input_tokens":12000,"cache_creation":{"ephemeral_5m_input_tokens":5000},"output_tokens":2,"service_tier":"standard"}},"requestId":"req_01"}
{"parentUuid":"a1","type":"assistant","message":{"model":"claude-opus-4-1-20250805","id":"msg_01","content":[{"type":"tool_use","id":"toolu_1","name":"Read","input":{"file_path":"/home/ada/app/log.txt"}}],"stop_reason":"tool_use","usage":{"input_tokens":4,"cache_creation_input_tokens":5000,"cache_read_input_tokens":12000,"output_tokens":180}},"requestId":"req_01"}
{"parentUuid":"a2","type":"user","message":{"role":"user","content":[{"tool_use_id":"toolu_1","type":"tool_result","content":"@"}]},"toolUseResult":{"stdout":"@","stderr":"","interrupted":false},"uuid":"u2"}
{"parentUuid":"a3","type":"assistant","message":{"model":"claude-opus-4-1-20250805","id":"msg_02","content":[{"type":"text","text":"The log shows two failed requests."}],"stop_reason":"end_turn","usage":{"input_tokens":10,"cache_creation_input_tokens":80000,"cache_read_input_tokens":17000,"output_tokens":420}}})")
            .replace("@", filler),
        U{29000, 85000, 14, 600, W, 97010});
    row("real Codex transcript, then type after info, odd numbers, another payload type", codex,
        lines(
            R"({"timestamp":"2026-01-05T10:00:00.000Z","type":"session_meta","payload":{"id":"0199","cwd":"/home/ada/app","originator":"codex_cli_rs","cli_version":"0.46.0"}}
{"timestamp":"2026-01-05T10:00:02.000Z","type":"response_item","payload":{"type":"message","role":"user","content":[{"type":"input_text","text":"@ \"token_count\""}]}}
{"timestamp":"2026-01-05T10:00:05.000Z","type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":9000,"cached_input_tokens":4000,"output_tokens":300,"reasoning_output_tokens":128,"total_tokens":9300},"last_token_usage":{"input_tokens":9000,"cached_input_tokens":4000,"output_tokens":300,"reasoning_output_tokens":128,"total_tokens":9300},"model_context_window":272000},"rate_limits":null}})")
            .replace("@", filler),
        U{4000, 0, 5000, 428, 272000, 9000},
        lines(
            R"({"payload":{"info":{"total_token_usage":{"input_tokens":5,"cached_input_tokens":2.9,"output_tokens":123456789012345678901234567890,"reasoning_output_tokens":1},"model_context_window":1000.5},"type":"token_count"}}
{"payload":{"type":"agent_reasoning","info":{"total_token_usage":{"input_tokens":5}}}})"),
        U{2, 0, 3, max, 272000, 9000});
    row("Codex window as a whole-valued float; beyond 64 bits ignored", codex,
        lines(R"({"payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":5},"model_context_window":200000.0}}})"),
        U{0, 0, 5, 0, 200000, 0},
        lines(R"({"payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":5},"model_context_window":1e19}}})"),
        U{0, 0, 5, 0, 200000, 0});

    // Codex's quota windows: the newest valid rate_limits of a token_count event, whatever its
    // info.
    const auto event = [](const char *limits, const char *info = "null") -> QByteArray {
        return QByteArray(R"({"type":"event_msg","payload":{"type":"token_count","info":)") + info +
               R"(,"rate_limits":)" + limits + "}}\n";
    };
    const QByteArray both = event(
        R"({"primary":{"used_percent":12.5,"window_minutes":300,"resets_at":1767610800},"secondary":{"used_percent":40,"window_minutes":10080,"resets_at":1768000000},"plan_type":"plus"})");
    const QuotaWindows bothWindows{QuotaWindow{12.5, 300, 1767610800},
                                   QuotaWindow{40, 10080, 1768000000}};
    row("quota: both windows", codex, both, U{}, {}, {}, bothWindows);
    row("quota: absent, null, or without windows", codex,
        event("null") + event("{}") + R"({"payload":{"type":"token_count"}})" + "\n", U{});
    row("quota: one window, no reset time, above 100 %, beside the counters", codex,
        event(R"({"primary":{"used_percent":130,"window_minutes":60,"resets_at":null}})",
              R"({"total_token_usage":{"input_tokens":5}})"),
        U{0, 0, 5, 0, {}, 0}, {}, {}, QuotaWindows{QuotaWindow{100, 60, {}}, {}});
    // Each malformed rate_limits would replace the valid ones before it.
    row("quota: malformed ones never count", codex,
        both + event(R"({"primary":{"used_percent":"5","window_minutes":300}})") +
            event(R"({"primary":{"used_percent":-1,"window_minutes":300}})") +
            event(R"({"primary":{"used_percent":5,"window_minutes":0}})") +
            event(R"({"primary":{"used_percent":5,"window_minutes":1.5}})") +
            event(R"({"primary":{"used_percent":5,"window_minutes":300,"resets_at":"soon"}})") +
            event(R"({"primary":{"used_percent":5,"window_minutes":300},"secondary":[]})") +
            event(R"([{"used_percent":5,"window_minutes":300}])"),
        U{}, {}, {}, bothWindows);
    row("quota: changing between turns, kept through a turn without them", codex,
        both + event(R"({"primary":{"used_percent":13,"window_minutes":300,"resets_at":1767610800},"secondary":{"used_percent":41,"window_minutes":10080,"resets_at":1768000000}})") +
            event("null"),
        U{}, {}, {},
        QuotaWindows{QuotaWindow{13, 300, 1767610800}, QuotaWindow{41, 10080, 1768000000}});
}

void TestUsage::reading()
{
    QFETCH(Row, row);
    TranscriptHome home;
    const QString path = home.filePath(row.harness == claude ? u".claude/projects/-a/s.jsonl"_s
                                                             : u".codex/sessions/s.jsonl"_s);
    writeFile(path, row.written);
    TranscriptWalk source(home.path());
    TokenUsageReader reader(source);
    const QByteArray encoded = QFile::encodeName(path);
    const SessionUsage none{"none", {}}, last{encoded, row.second, true, row.quota};
    QCOMPARE(reader.usage(row.harness).value_or(none),
             (SessionUsage{encoded, row.first, true, row.quota}));
    writeFile(path, row.appended, true);
    QCOMPARE(reader.usage(row.harness).value_or(none), last);
    // Nothing appended, nothing counted again.
    QCOMPARE(reader.usage(row.harness)->usage, row.second);
    const qsizetype consumed = QByteArray(row.written + row.appended).lastIndexOf('\n') + 1;
    QCOMPARE(reader.progress().value(encoded).offset, quint64(consumed));
    TokenUsageReader fresh(source); // read at once, the same as read in steps
    QCOMPARE(fresh.usage(row.harness)->usage, row.second);
    // And the same read with the least budget, one read a call.
    TokenUsageReader sliced(source);
    QCOMPARE(readInSlices(sliced, row.harness, 1).first.value_or(none), last);
    // And two pages at a time, mapped or read, in three parts merged in order.
    for (const bool map : {true, false}) {
        TokenUsageReader parts(source);
        parts.setMappedReading({.threshold = 1, .window = 8192, .partSize = 1, .parts = 3, .map = map});
        QCOMPARE(parts.usage(row.harness).value_or(none), last);
    }
}

// A budget bounds what one call reads: a big transcript takes about size / budget calls, each
// moving on, and gives what one unbounded call gives.
void TestUsage::readBudget_data()
{
    QTest::addColumn<QByteArray>("transcript");
    QTest::addColumn<quint64>("budget");
    QTest::addColumn<int>("fewestCalls");
    QTest::addColumn<int>("mostCalls");
    const quint64 mebibyte = TokenUsageReader::chunkSize;
    QByteArray turns;
    for (int i = 0; turns.size() < 40 * qsizetype(mebibyte); ++i)
        turns += claudeLine(QByteArray::number(i).constData(), 0, 0, 1, 2) +
                 R"({"type":"user","message":{"content":")" + QByteArray(2000, 'u') + "\"}}\n";
    QTest::newRow("40 MiB of turns, 8 MiB a call") << turns << 8 * mebibyte << 5 << 7;
    // Kept whole across the budget: a 12 MiB line that counts.
    const QByteArray wanted = R"({"type":"assistant","message":{"id":"w","usage":{"output_tokens":5},"pad":")" +
                              QByteArray(12 * qsizetype(mebibyte), 'p') + "\"}}\n";
    QTest::newRow("a 12 MiB line that counts, 2 MiB a call") << wanted + turns.left(4 * mebibyte)
                                                          << 2 * mebibyte << 2 << 4;
}

void TestUsage::readBudget()
{
    QFETCH(QByteArray, transcript);
    QFETCH(quint64, budget);
    QFETCH(int, fewestCalls);
    QFETCH(int, mostCalls);
    TranscriptHome home;
    writeFile(home.filePath(u".claude/projects/-a/s.jsonl"_s), transcript);
    TranscriptWalk source(home.path());
    TokenUsageReader whole(source), sliced(source);
    const auto [read, calls] = readInSlices(sliced, claude, budget);
    QVERIFY(read);
    QCOMPARE(read->usage, whole.usage(claude)->usage);
    QVERIFY2(calls >= fewestCalls && calls <= mostCalls, qPrintable(QString::number(calls)));
}

// Which file is read, and what happens when it shrinks or is replaced.
void TestUsage::transcriptFiles()
{
    TranscriptHome home;
    TranscriptWalk source(home.path());
    TokenUsageReader reader(source);
    const QString root = home.filePath(u".claude/projects/"_s);
    const auto newest = [&] {
        return QFile::decodeName(reader.activeSessionPath(claude).value_or("none"));
    };
    QCOMPARE(newest(), u"none"_s); // no root
    QCOMPARE(reader.usage(codex), std::nullopt);
    // Not transcripts: other extensions, a folder named *.jsonl, links to a file or a folder.
    for (const QString &name :
         {u"p/a.JSONL"_s, u"p/a.json"_s, u"p/.jsonl"_s, u"p/f.jsonl/x"_s, u"../../out/o.jsonl"_s})
        writeFile(root + name, {});
    QVERIFY(QFile::link(home.filePath(u"out/o.jsonl"_s), root + u"p/link.jsonl"_s));
    QVERIFY(QFile::link(home.filePath(u"out"_s), root + u"p/linked"_s));
    QCOMPARE(newest(), u"none"_s);
    // Of equal times the smallest path wins; hidden folders and files count.
    writeFileAt(root + u"p/older.jsonl"_s, 1500000000, {});
    for (const QString &name :
         {u".q/c.jsonl"_s, u".q/a.jsonl"_s, u".q/d.jsonl"_s, u".q/.b.jsonl"_s})
        writeFileAt(root + name, 1650000000, {});
    const QString path = root + u".q/.b.jsonl"_s;
    QCOMPARE(newest(), path);

    const QByteArray a = claudeLine("a", 100, 0, 1, 10), anonymous = claudeLine("", 0, 0, 0, 3);
    writeFile(path, a + claudeLine("b", 200, 0, 1, 20).repeated(2) + anonymous);
    QCOMPARE(reader.usage(claude).value().usage.output, 33);
    // Shrunk below the offset: read again from the start, counters kept, ids not counted twice
    // but with their latest line (the line without id is counted again, as any line without id
    // read again).
    writeFile(path, a + claudeLine("a", 100, 0, 1, 15) + anonymous);
    QCOMPARE(reader.usage(claude).value().usage.output, 41);
    // Replaced by a longer file renamed over it: read from its start as well.
    writeFile(path + u".new"_s, claudeLine("d", 0, 0, 0, 1000) + claudeLine("c", 0, 0, 0, 100));
    QVERIFY(QFile::remove(path) && QFile::rename(path + u".new"_s, path));
    QCOMPARE(reader.usage(claude).value().usage.output, 1141);
    reader.reset();
    QCOMPARE(reader.usage(claude).value().usage.output, 1100);
    QCOMPARE((U{max, 1, 0, 0, W, 300000}).contextFraction(), std::optional<double>(1.0));
}

// Narrowing "claude-code" to a project's folder: the project directory's path with every "/"
// replaced by "-". Times: app 100, app/sub 300, app2 500, "my project.v2" 200, other 400.
void TestUsage::projectDirectory_data()
{
    QTest::addColumn<Manifest::KnownHarness>("harness");
    QTest::addColumn<std::optional<QString>>("project");
    QTest::addColumn<QString>("newest");
    const auto add = [&](const char *name, Manifest::KnownHarness harness,
                         const std::optional<QString> &project, const QString &newest) {
        QTest::newRow(name) << harness << project << newest;
    };
    add("none: the whole root", claude, std::nullopt, u"-home-ada-app2/x.jsonl"_s);
    add("a session in a nested folder", claude, u"/home/ada/app"_s,
        u"-home-ada-app/sub/nested.jsonl"_s);
    add("space and dot kept", claude, u"/home/ada/my project.v2"_s,
        u"-home-ada-my project.v2/y.jsonl"_s);
    add("no such folder: the whole root", claude, u"/home/ada/gone"_s,
        u"-home-ada-app2/x.jsonl"_s);
    add("the root's parent is not a project", claude, u".."_s, u"-home-ada-app2/x.jsonl"_s);
    add("a link is not a project folder", claude, u"/home/ada/linked"_s,
        u"-home-ada-app2/x.jsonl"_s);
    add("codex ignores the project", codex, u"/home/ada/app"_s, u"c.jsonl"_s);
}

void TestUsage::projectDirectory()
{
    QFETCH(Manifest::KnownHarness, harness);
    QFETCH(std::optional<QString>, project);
    QFETCH(QString, newest);
    TranscriptHome home;
    const QString root = home.filePath(u".claude/projects/"_s);
    writeFileAt(root + u"-home-ada-app/s1.jsonl"_s, 100);
    writeFileAt(root + u"-home-ada-app/sub/nested.jsonl"_s, 300);
    writeFileAt(root + u"-home-ada-app2/x.jsonl"_s, 500);
    writeFileAt(root + u"-home-ada-my project.v2/y.jsonl"_s, 200);
    writeFileAt(root + u"-other/z.jsonl"_s, 400);
    writeFileAt(home.filePath(u".codex/sessions/c.jsonl"_s), 10);
    QVERIFY(QFile::link(root + u"-other"_s, root + u"-home-ada-linked"_s));
    TranscriptWalk source(home.path());
    TokenUsageReader reader(source);
    const QString expected =
        harness == claude ? root + newest : home.filePath(u".codex/sessions/"_s) + newest;
    QCOMPARE(QFile::decodeName(reader.activeSessionPath(harness, project).value_or("none")),
             expected);
    QCOMPARE(QFile::decodeName(reader.usage(harness, project).value().path), expected);
}

// Claude's transcripts where Claude writes them: CLAUDE_CONFIG_DIR in place of ~/.claude, and
// Claude Desktop's agent sessions below XDG_CONFIG_HOME; the newest of both roots is read, and
// a new conversation in either is noticed.
void TestUsage::claudeRoots()
{
    TranscriptHome home;
    const QString config = home.filePath(u"cfg"_s), sessions = home.filePath(u"xdg/Claude/local-agent-mode-sessions/app/machine"_s);
    const RootEnvironment environment{QFile::encodeName(config).toStdString(),
                                      QFile::encodeName(home.filePath(u"xdg"_s)).toStdString()};
    TranscriptWalk source(home.path(), environment);
    TokenUsageReader reader(source);
    ManualClock clock;
    DesktopSessionFileTracker tracker(source, clock);
    const auto newest = [&] {
        return QFile::decodeName(reader.activeSessionPath(claude).value_or("none"));
    };
    // Not Claude's while CLAUDE_CONFIG_DIR is set: ~/.claude; not a transcript: an agent
    // session's file outside its .claude/projects folder.
    writeFileAt(home.filePath(u".claude/projects/-a/home.jsonl"_s), 500);
    writeFileAt(sessions + u"/local_1/audit.jsonl"_s, 500);
    writeFileAt(sessions + u"/local_1/.claude/todos/t.jsonl"_s, 500);
    QCOMPARE(newest(), u"none"_s);
    writeFileAt(config + u"/projects/-a/cli.jsonl"_s, 100);
    QCOMPARE(newest(), config + u"/projects/-a/cli.jsonl"_s);
    tracker.takeBaseline({claude});
    const QString desktop = sessions + u"/local_1/.claude/projects/-sessions-x/d.jsonl"_s;
    writeFileAt(desktop, 200, claudeLine("m", 5, 0, 1, 9));
    QCOMPARE(newest(), desktop);
    QCOMPARE(reader.usage(claude).value().usage.output, 9);
    QCOMPARE(tracker.poll(claude), std::optional(DesktopSessionFileTracker::Event::SessionStarted));
    QCOMPARE(tracker.pending().value(claude).path, QFile::encodeName(desktop));
    writeFileAt(config + u"/projects/-a/cli.jsonl"_s, 300);
    QCOMPARE(newest(), config + u"/projects/-a/cli.jsonl"_s);
}

// The developer tool orvane-usage run as a process. In arguments and output "@" stands for a
// home folder with one transcript of each harness; a row without output is a wrong command line.
void TestUsage::orvaneUsage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("out");
    const auto tool = [](const char *name, const char *arguments, const QByteArray &out = {}) {
        QTest::newRow(name) << QString::fromUtf8(arguments).split(u' ', Qt::SkipEmptyParts) << out;
    };
    tool(
        "claude-code", "--home @ --harness claude-code",
        R"({"path":"@/.claude/projects/-a/s \"1\".jsonl","cache_read":600,"cache_write":300,"fresh_input":100,"output":70,"context_window":200000,"context_used":1000,"total":1070,"context_fraction":0.005,"rate_limits":null})");
    const QByteArray codex =
        R"({"path":"@/.codex/sessions/r.jsonl","cache_read":1000,"cache_write":0,"fresh_input":500,"output":250,"context_window":null,"context_used":0,"total":1750,"context_fraction":null,"rate_limits":{"primary":{"used_percent":12.5,"window_minutes":300,"resets_at":1767610800},"secondary":null}})";
    tool("codex without a window, --home=DIR", "--home=@ --harness codex", codex);
    tool("no transcript", "--harness codex --home @/none", "null");
    // "ÿ" stands for the byte 0xff: a name that is not UTF-8 (a link to the home here).
    tool("a home that is not UTF-8", "--home @/hÿ --harness codex",
         QByteArray(codex).replace("@", "@/hÿ"));
    tool("nothing", "");
    tool("unknown harness", "--home /tmp --harness opencode");
    tool("missing value", "--harness codex --home");
    tool("given twice", "--harness=codex --harness codex --home=/tmp");
}

void TestUsage::orvaneUsage()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, out);
    TranscriptHome home;
    writeFile(home.filePath(u".claude/projects/-a/s \"1\".jsonl"_s),
              claudeLine("a", 600, 300, 100, 7) + claudeLine("a", 600, 300, 100, 70) +
                  claudeLine("b", 1, 1, 1, 1).left(30));
    writeFile(home.filePath(u".codex/sessions/r.jsonl"_s),
              codexLine(1000, 0, 1500, 200, 50, 0, 0) +
                  R"({"payload":{"type":"token_count","info":null,"rate_limits":{"primary":{"used_percent":12.5,"window_minutes":300,"resets_at":1767610800}}}})" "\n");
    const QByteArray linked = QFile::encodeName(home.path()) + "/h\xff";
    QVERIFY(::symlink(QFile::encodeName(home.path()).constData(), linked.constData()) == 0);
    // A name QDir cannot spell: the home's own clean-up would leave it behind.
    const auto unlink = qScopeGuard([&linked] { ::unlink(linked.constData()); });
    // Through a shell, which can give the program bytes that a QString cannot hold.
    QStringList words{QCoreApplication::applicationDirPath() + u"/orvane-usage"_s};
    for (const QString &argument : arguments.replaceInStrings(u"@"_s, home.path()))
        words << u'"' + QString(argument).replace(u"\u00ff"_s, u"$(printf '\\377')"_s) + u'"';
    QProcess process;
    // Claude's roots in this home only, whatever the developer's environment says.
    process.start(u"/bin/sh"_s, {u"-c"_s, u"exec env -u CLAUDE_CONFIG_DIR -u XDG_CONFIG_HOME "_s +
                                              words.join(u' ')});
    QVERIFY(process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit);
    QCOMPARE(process.exitCode(), out.isEmpty() ? 2 : 0);
    out.replace('@', QFile::encodeName(home.path())).replace("\xc3\xbf", "\xff");
    QCOMPARE(process.readAllStandardOutput(), out.isEmpty() ? out : out + '\n');
    QCOMPARE(process.readAllStandardError().contains("usage: orvane-usage"), out.isEmpty());
}

// One scripted run of the desktop session file tracker as the overlay drives it: baseline, then one
// poll per step.
void TestUsage::trackerLifecycle()
{
    TranscriptHome home;
    ManualClock clock;
    TranscriptWalk source(home.path());
    DesktopSessionFileTracker tracker(source, clock);
    const QString dir = home.filePath(u".claude/projects/-a/"_s);
    const auto started = std::optional(Usage::DesktopSessionFileTracker::Event::SessionStarted);
    const auto ready = std::optional(Usage::DesktopSessionFileTracker::Event::SessionReady);
    writeFile(dir + u"old.jsonl"_s, "{}\n");
    QCOMPARE(tracker.poll(claude), std::nullopt); // nothing before the baseline
    writeFile(dir + u"before.jsonl"_s, "{}\n");
    tracker.takeBaseline({claude, codex});
    QCOMPARE(tracker.poll(claude), std::nullopt);

    // A new file is pending until it grows by one byte; another file growing changes nothing.
    writeFile(dir + u"new.jsonl"_s, "{}\n");
    QCOMPARE(tracker.poll(claude), started);
    const PendingSession pending = tracker.pending().value(claude);
    QVERIFY(pending.path == QFile::encodeName(dir + u"new.jsonl"_s) && pending.initialSize == 3);
    QCOMPARE(pending.expiresAt, clock.now() + 30s);
    clock.advance(1s);
    writeFile(dir + u"old.jsonl"_s, "{}\n", true);
    QCOMPARE(tracker.poll(claude), std::nullopt);
    writeFile(dir + u"new.jsonl"_s, "x", true);
    QCOMPARE(tracker.poll(claude), ready);

    // Of two new files the first by path is reported; deleted while pending, it is ready after
    // 30 seconds.
    writeFile(dir + u"second.jsonl"_s, {});
    writeFile(dir + u"first.jsonl"_s, {});
    QCOMPARE(tracker.poll(claude), started);
    QCOMPARE(tracker.pending().value(claude).path, QFile::encodeName(dir + u"first.jsonl"_s));
    QVERIFY(QFile::remove(dir + u"first.jsonl"_s));
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

QTEST_GUILESS_MAIN(TestUsage)
#include "tst_usage.moc"

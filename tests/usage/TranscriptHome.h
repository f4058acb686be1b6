#pragma once

#include "usage/TokenUsageReader.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest/QTest>

// A temporary home folder with transcript trees.
using TranscriptHome = QTemporaryDir;

// Writes or appends to a file, creating its folders.
inline void writeFile(const QString &path, const QByteArray &content, bool append = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(append ? QIODevice::Append : QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

// Writes a file and sets its modification time to SECONDS since the epoch.
inline void writeFileAt(const QString &path, qint64 seconds, const QByteArray &content = "{}\n")
{
    writeFile(path, content);
    QFile file(path);
    QVERIFY(file.open(QIODevice::Append) &&
            file.setFileTime(QDateTime::fromSecsSinceEpoch(seconds), QFile::FileModificationTime));
}

// A Claude Code assistant line; without id when ID is empty.
inline QByteArray claudeLine(const char *id, int read, int written, int input, int output,
                             const char *model = "claude-opus-4-1")
{
    return QString::asprintf("{\"type\":\"assistant\",\"message\":{\"model\":\"%s\",%s%s%s"
                             "\"usage\":{\"input_tokens\":%d,\"cache_creation_input_tokens\":%d,"
                             "\"cache_read_input_tokens\":%d,\"output_tokens\":%d}}}\n",
                             model, *id ? "\"id\":\"" : "", id, *id ? "\"," : "", input, written,
                             read, output)
        .toUtf8();
}

// A Codex token_count event with the given totals, window and last input.
inline QByteArray codexLine(int cached, int cacheWrite, int input, int output, int reasoning,
                            int window, int lastInput)
{
    return QString::asprintf("{\"type\":\"event_msg\",\"payload\":{\"type\":\"token_count\","
                             "\"info\":{\"total_token_usage\":{\"input_tokens\":%d,"
                             "\"cached_input_tokens\":%d,\"cache_write_input_tokens\":%d,"
                             "\"output_tokens\":%d,\"reasoning_output_tokens\":%d},"
                             "\"last_token_usage\":{\"input_tokens\":%d},"
                             "\"model_context_window\":%d}}}\n",
                             input, cached, cacheWrite, output, reasoning, lastInput, window)
        .toUtf8();
}

// Usage read a slice at a time (BUDGET bytes per call) until the reader reaches the end, and how
// many calls that took; none when it keeps going.
inline std::pair<std::optional<Usage::SessionUsage>, int>
readInSlices(Usage::TokenUsageReader &reader, Manifest::KnownHarness harness, std::uint64_t budget)
{
    reader.setReadBudget(budget);
    for (int calls = 1; calls < 10000; ++calls) {
        const auto read = reader.usage(harness);
        if (!read || read->readToEnd)
            return {read, calls};
    }
    return {std::nullopt, 10000};
}

// Failure messages that show the counters.
namespace Usage {
inline char *toString(const TokenUsage &usage)
{
    return QTest::toString(QString::asprintf(
        "{read %lld, write %lld, input %lld, output %lld, window %s, used %lld}",
        qlonglong(usage.cacheRead), qlonglong(usage.cacheWrite), qlonglong(usage.freshInput),
        qlonglong(usage.output),
        usage.contextWindow ? qPrintable(QString::number(*usage.contextWindow)) : "none",
        qlonglong(usage.contextUsed)));
}
inline char *toString(const SessionUsage &session)
{
    const std::unique_ptr<char[]> usage(toString(session.usage));
    return QTest::toString(QFile::decodeName(session.path) + u' ' + QString::fromUtf8(usage.get()));
}
} // namespace Usage

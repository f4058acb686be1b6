#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>

// A temporary home folder for the usage tests.
struct TranscriptHome
{
    QTemporaryDir dir;
    QString path(const QString &relative) const { return dir.path() + QLatin1Char('/') + relative; }
};

// Writes or appends to a file, creating its folders.
inline void writeFile(const QString &path, const QByteArray &content, bool append = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(append ? QIODevice::Append : QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

// Sets the modification time of a file, or of a link itself.
inline void setModified(const QString &path, std::int64_t seconds, long nanoseconds = 0)
{
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW),
             0);
}

// A Claude Code assistant line; without id when ID is empty.
inline QByteArray claudeLine(const char *id, int read, int written, int input, int output,
                             const char *model = "claude-opus-4-1")
{
    const QByteArray idPart = *id ? "\"id\":\"" + QByteArray(id) + "\"," : QByteArray();
    return QString::asprintf(
               R"({"type":"assistant","message":{"model":"%s",%s"role":"assistant","usage":{"input_tokens":%d,"cache_creation_input_tokens":%d,"cache_read_input_tokens":%d,"output_tokens":%d}}})"
               "\n",
               model, idPart.constData(), input, written, read, output)
        .toUtf8();
}

// A Codex token_count event with the given totals, window and last input.
inline QByteArray codexLine(int cached, int cacheWrite, int input, int output, int reasoning,
                            int window, int lastInput)
{
    return QString::asprintf(
               R"({"type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":%d,"cached_input_tokens":%d,"cache_write_input_tokens":%d,"output_tokens":%d,"reasoning_output_tokens":%d},"last_token_usage":{"input_tokens":%d},"model_context_window":%d}}})"
               "\n",
               input, cached, cacheWrite, output, reasoning, lastInput, window)
        .toUtf8();
}

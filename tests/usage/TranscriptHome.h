#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>

// A temporary home folder with transcript trees, for the usage tests.
class TranscriptHome
{
public:
    QString home() const { return m_dir.path(); }
    QString claudeRoot() const { return m_dir.path() + QStringLiteral("/.claude/projects"); }
    QString codexRoot() const { return m_dir.path() + QStringLiteral("/.codex/sessions"); }

    // Writes (replacing) a file, creating its folders.
    static void write(const QString &path, const QByteArray &content)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(content), content.size());
    }

    static void append(const QString &path, const QByteArray &content)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append));
        QCOMPARE(file.write(content), content.size());
    }

    // Sets a file's modification time to the given second and nanosecond.
    static void setModified(const QString &path, std::int64_t seconds, long nanoseconds = 0)
    {
        const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
        QCOMPARE(
            ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW),
            0);
    }

private:
    QTemporaryDir m_dir;
};

// One Claude Code assistant line with the given usage.
inline QByteArray claudeAssistantLine(const QByteArray &id, qint64 read, qint64 written,
                                      qint64 input, qint64 output,
                                      const QByteArray &model = "claude-sonnet-4-5-20250929")
{
    const QByteArray idPart = id.isEmpty() ? QByteArray() : "\"id\":\"" + id + "\",";
    return "{\"parentUuid\":\"p\",\"isSidechain\":false,\"type\":\"assistant\",\"message\":{"
           "\"model\":\"" +
           model + "\"," + idPart +
           "\"type\":\"message\",\"role\":\"assistant\",\"content\":[{\"type\":\"text\","
           "\"text\":\"Done.\"}],\"stop_reason\":null,\"usage\":{\"input_tokens\":" +
           QByteArray::number(input) +
           ",\"cache_creation_input_tokens\":" + QByteArray::number(written) +
           ",\"cache_read_input_tokens\":" + QByteArray::number(read) +
           ",\"output_tokens\":" + QByteArray::number(output) +
           ",\"service_tier\":\"standard\"}},\"requestId\":\"req_1\",\"uuid\":\"u\"}\n";
}

// One Codex token_count event with the given totals.
inline QByteArray codexTokenCountLine(qint64 cached, qint64 cacheWrite, qint64 input, qint64 output,
                                      qint64 reasoning, qint64 window, qint64 lastInput)
{
    return "{\"timestamp\":\"2026-01-05T10:00:00.000Z\",\"type\":\"event_msg\",\"payload\":{"
           "\"type\":\"token_count\",\"info\":{\"total_token_usage\":{\"input_tokens\":" +
           QByteArray::number(input) + ",\"cached_input_tokens\":" + QByteArray::number(cached) +
           ",\"cache_write_input_tokens\":" + QByteArray::number(cacheWrite) +
           ",\"output_tokens\":" + QByteArray::number(output) +
           ",\"reasoning_output_tokens\":" + QByteArray::number(reasoning) +
           ",\"total_tokens\":1},\"last_token_usage\":{\"input_tokens\":" +
           QByteArray::number(lastInput) +
           ",\"output_tokens\":3},\"model_context_window\":" + QByteArray::number(window) +
           "},\"rate_limits\":null}}\n";
}

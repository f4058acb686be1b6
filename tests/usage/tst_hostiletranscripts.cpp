#include "TranscriptHome.h"
#include "usage/DesktopSessionFileTracker.h"
#include "usage/GuardedMapping.h"
#include "usage/TokenUsageReader.h"
#include "usage/TranscriptIndex.h"
#include "usage/TranscriptWalk.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;
using namespace Usage;

namespace {

constexpr Manifest::KnownHarness claude = Manifest::KnownHarness::ClaudeCode;

// Files and trees that try to hang, crash or fool the reader and the sources.
enum class Hostile
{
    NamedPipeAtOpen,
    OverlongLines,
    DeepTree,
    NamesNotUtf8,
    RewrittenInPlace,
    TruncatedWhileRead,
    ShrunkUnderMapping,
    LinkLoops,
    UnreadableFolder
};

// A walk whose newest transcript is fixed: the file that was swapped in between the walk and
// the open.
class SwappedNewest : public TranscriptWalk
{
public:
    SwappedNewest(const QString &home, std::string path)
        : TranscriptWalk(home)
        , m_path(std::move(path))
    {}
    std::optional<std::string> newest(const std::string &, const std::string &) override
    {
        return m_path;
    }

private:
    std::string m_path;
};

std::int64_t outputOf(TokenUsageReader &reader)
{
    return reader.usage(claude).value_or(SessionUsage{}).usage.output;
}

QByteArray withPadding(const char *id, int output, qsizetype padding)
{
    return R"({"message":{"id":")" + QByteArray(id) + R"(","usage":{"output_tokens":)" +
           QByteArray::number(output) + R"(}},"pad":")" + QByteArray(padding, 'p') + "\"}\n";
}

} // namespace

class TestHostileTranscripts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hostileFiles_data()
    {
        QTest::addColumn<Hostile>("hostile");
        QTest::newRow("named pipe swapped in before the open") << Hostile::NamedPipeAtOpen;
        QTest::newRow("lines over the line limit") << Hostile::OverlongLines;
        QTest::newRow("a tree deeper than the longest path") << Hostile::DeepTree;
        QTest::newRow("names that are not UTF-8") << Hostile::NamesNotUtf8;
        QTest::newRow("rewritten in place, longer") << Hostile::RewrittenInPlace;
        QTest::newRow("truncated and rewritten while read") << Hostile::TruncatedWhileRead;
        QTest::newRow("truncated and rewritten while read mapped, in parts")
            << Hostile::ShrunkUnderMapping;
        QTest::newRow("link loops") << Hostile::LinkLoops;
        QTest::newRow("an unreadable folder") << Hostile::UnreadableFolder;
    }

    // Each case ends within a bounded time, without a crash, with the counters the readable lines
    // give.
    void hostileFiles()
    {
        QFETCH(Hostile, hostile);
        TranscriptHome home;
        const QString root = home.filePath(u".claude/projects"_s);
        const std::string rootBytes = QFile::encodeName(root).toStdString();
        QVERIFY(QDir().mkpath(root + u"/p"_s));
        QElapsedTimer timer;
        timer.start();

        switch (hostile) {
        case Hostile::NamedPipeAtOpen: {
            // A pipe in the tree is no transcript; a pipe met at the open gives zeros at once. Were
            // the open to block, a writer arriving after 3 s would free it and the time tell.
            const std::string pipe = rootBytes + "/p/s.jsonl";
            QCOMPARE(::mkfifo(pipe.c_str(), 0644), 0);
            writeFile(root + u"/p/a.jsonl"_s, claudeLine("a", 0, 0, 0, 5));
            TranscriptIndex source(home.path());
            TokenUsageReader reader(source);
            QCOMPARE(outputOf(reader), 5);
            SwappedNewest swapped(home.path(), pipe);
            TokenUsageReader fooled(swapped);
            std::atomic<bool> done = false;
            std::thread rescue([&] {
                for (int i = 0; i < 30 && !done; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                if (!done)
                    ::close(::open(pipe.c_str(), O_RDWR));
            });
            const auto read = fooled.usage(claude);
            done = true;
            rescue.join();
            QVERIFY(read.has_value());
            QCOMPARE(read->path, QByteArray::fromStdString(pipe));
            QCOMPARE(read->usage, TokenUsage{});
            QVERIFY2(timer.elapsed() < 2500, "the open waited for a writer");
            break;
        }
        case Hostile::OverlongLines: {
            // With a 1 MiB limit: a 3 MiB line holding usage is skipped, finished or not; a line
            // just under the limit counts.
            const QString path = root + u"/p/s.jsonl"_s;
            const qsizetype mebibyte = 1024 * 1024;
            writeFile(path, withPadding("a", 1, 3 * mebibyte) + withPadding("b", 10, mebibyte - 200) +
                                withPadding("c", 100, 4 * mebibyte).left(2 * mebibyte));
            TranscriptIndex source(home.path());
            TokenUsageReader reader(source, mebibyte);
            QCOMPARE(outputOf(reader), 10);
            writeFile(path, QByteArray(3 * mebibyte, 'q') + "\"}\n" + withPadding("d", 1000, 10),
                      true);
            QCOMPARE(outputOf(reader), 1010);
            // A slice a call resumes the search for the overlong lines' ends where it stopped.
            TokenUsageReader sliced(source, mebibyte);
            const auto [read, calls] = readInSlices(sliced, claude, 1);
            QCOMPARE(read.value_or(SessionUsage{}).usage.output, 1010);
            QVERIFY2(calls >= 6, qPrintable(QString::number(calls)));
            break;
        }
        case Hostile::DeepTree: {
            // Deeper than any path can name (the walk meets names too long to open and goes on);
            // a transcript at depth 1000 is found. Paths this long are beyond QDir's reach.
            const auto rm = qScopeGuard([&] { QProcess::execute(u"rm"_s, {u"-rf"_s, root}); });
            int fd = ::open((rootBytes + "/p").c_str(), O_RDONLY | O_DIRECTORY);
            for (int depth = 1; depth <= 2500 && ::mkdirat(fd, "d", 0755) == 0; ++depth) {
                const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
                if (depth == 1000)
                    ::close(::openat(next, "deep.jsonl", O_WRONLY | O_CREAT, 0644));
                ::close(fd);
                fd = next;
            }
            ::close(::openat(fd, "deepest.jsonl", O_WRONLY | O_CREAT, 0644));
            ::close(fd);
            std::string deep = rootBytes + "/p";
            for (int depth = 1; depth <= 1000; ++depth)
                deep += "/d";
            timer.restart();
            TranscriptIndex source(home.path());
            QCOMPARE(source.newest(rootBytes, rootBytes).value_or("none"), deep + "/deep.jsonl");
            QVERIFY2(timer.elapsed() < 30000, qPrintable(QString::number(timer.elapsed())));
            break;
        }
        case Hostile::NamesNotUtf8: {
            const std::string folder = rootBytes + "/\xc3\x28-proj";
            const std::string path = folder + "/\xff\xfe.jsonl";
            QCOMPARE(::mkdir(folder.c_str(), 0755), 0);
            const QByteArray line = claudeLine("a", 1, 2, 3, 4);
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
            QVERIFY(fd >= 0 && ::write(fd, line.data(), std::size_t(line.size())) == line.size());
            ::close(fd);
            TranscriptIndex source(home.path());
            TokenUsageReader reader(source);
            const auto read = reader.usage(claude);
            QVERIFY(read.has_value());
            QCOMPARE(read->path, QByteArray::fromStdString(path));
            QCOMPARE(read->usage.output, 4);
            DesktopSessionFileTracker tracker(source);
            QCOMPARE(tracker.scan(claude), (QList<FileState>{{read->path, line.size()}}));
            // Names QDir cannot remove.
            QVERIFY(::unlink(path.c_str()) == 0 && ::rmdir(folder.c_str()) == 0);
            break;
        }
        case Hostile::RewrittenInPlace: {
            // The same inode truncated and written longer: its new lines all count.
            const QString path = root + u"/p/s.jsonl"_s;
            writeFile(path, claudeLine("a1", 0, 0, 0, 1) + claudeLine("a2", 0, 0, 0, 1));
            TranscriptIndex source(home.path());
            TokenUsageReader reader(source);
            QCOMPARE(outputOf(reader), 2);
            writeFile(path, claudeLine("", 0, 0, 0, 10).repeated(4));
            QCOMPARE(outputOf(reader), 42);
            break;
        }
        case Hostile::TruncatedWhileRead:
        case Hostile::ShrunkUnderMapping: {
            const std::string path = rootBytes + "/p/s.jsonl";
            const bool mapped = hostile == Hostile::ShrunkUnderMapping;
            if (mapped) {
                // A mapping of a file that shrinks reads zeros past its new end, and says so.
                const std::size_t page = GuardedMapping::pageSize();
                writeFile(QString::fromStdString(path), QByteArray(3 * qsizetype(page), 'a'));
                const int fd = ::open(path.c_str(), O_RDONLY);
                const GuardedMapping mapping(fd, 0, 3 * page);
                ::close(fd);
                QVERIFY(mapping.valid() && !mapping.shrank());
                QCOMPARE(::truncate(path.c_str(), off_t(page)), 0);
                QCOMPARE(mapping.data()[2 * page + 5], '\0');
                QVERIFY(mapping.shrank());
            }
            // Another thread truncates and rewrites the file while it is read: every call returns,
            // and once the writer stops the counters are those of the lines read.
            QByteArray content;
            for (int i = 0; i < 20000; ++i)
                content += claudeLine("", 0, 0, 0, 1);
            writeFile(QString::fromStdString(path), content);
            TranscriptIndex source(home.path());
            TokenUsageReader reader(source);
            const MappedReading::Settings inParts{.threshold = 1, .window = 16384, .partSize = 1, .parts = 3};
            if (mapped)
                reader.setMappedReading(inParts);
            std::atomic<bool> stop = false;
            std::thread writer([&] {
                while (!stop) {
                    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC);
                    for (qsizetype at = 0; fd >= 0 && at < content.size() && !stop; at += 4096) {
                        const auto length = std::size_t(std::min<qsizetype>(4096, content.size() - at));
                        if (::write(fd, content.constData() + at, length) < 0)
                            break;
                    }
                    ::close(fd);
                }
            });
            for (int i = 0; i < 40; ++i)
                QVERIFY(reader.usage(claude).has_value());
            stop = true;
            writer.join();
            writeFile(QString::fromStdString(path), content);
            TokenUsageReader fresh(source);
            if (mapped)
                fresh.setMappedReading(inParts);
            QCOMPARE(outputOf(fresh), 20000);
            break;
        }
        case Hostile::LinkLoops: {
            QVERIFY(QFile::link(root + u"/p"_s, root + u"/p/loop"_s));
            QVERIFY(QFile::link(root, root + u"/p/up"_s));
            QVERIFY(QFile::link(u"."_s, root + u"/p/here.jsonl"_s));
            writeFile(root + u"/p/s.jsonl"_s, claudeLine("a", 0, 0, 0, 3));
            TranscriptIndex source(home.path());
            TokenUsageReader reader(source);
            QCOMPARE(outputOf(reader), 3);
            DesktopSessionFileTracker tracker(source);
            QCOMPARE(tracker.scan(claude).size(), 1);
            break;
        }
        case Hostile::UnreadableFolder: {
            if (::geteuid() == 0)
                QSKIP("permissions do not apply to root");
            writeFile(root + u"/p/old.jsonl"_s, claudeLine("a", 0, 0, 0, 3));
            writeFile(root + u"/q/new.jsonl"_s, claudeLine("a", 0, 0, 0, 7));
            QVERIFY(QFile::setPermissions(root + u"/q"_s, QFileDevice::Permissions()));
            TranscriptIndex source(home.path());
            TokenUsageReader reader(source);
            QCOMPARE(outputOf(reader), 3);
            QVERIFY(QFile::setPermissions(root + u"/q"_s, QFileDevice::ReadOwner |
                                                              QFileDevice::WriteOwner |
                                                              QFileDevice::ExeOwner));
            // Readable again: noticed by the index through the folder's attribute change.
            QTRY_COMPARE(outputOf(reader), 7);
            break;
        }
        }
    }
};

QTEST_GUILESS_MAIN(TestHostileTranscripts)
#include "tst_hostiletranscripts.moc"

#include "TranscriptHome.h"
#include "support/ManualClock.h"
#include "usage/DesktopSessionFileTracker.h"
#include "usage/TranscriptIndex.h"
#include "usage/TranscriptWalk.h"

#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using namespace Usage;
namespace fs = std::filesystem;

namespace {

const QList<Manifest::KnownHarness> harnesses{Manifest::knownHarnesses.begin(),
                                               Manifest::knownHarnesses.end()};

// The file-system changes of the differential test, applied with plain calls so that names,
// links and times are exactly what the step asks for.
class RandomTree
{
public:
    RandomTree(const std::string &home, std::vector<std::string> roots, unsigned seed)
        : m_home(home)
        , m_roots(std::move(roots))
        , m_random(seed)
    {}

    // One random change somewhere in one of the transcript trees; returns what it did.
    std::string step()
    {
        const std::string root = m_roots[pick(m_roots.size())];
        const std::vector<std::string> folders = entries(root, true);
        const std::vector<std::string> files = entries(root, false);
        const auto anyFolder = [&] { return folders.empty() ? root : folders[pick(folders.size())]; };
        const auto anyFile = [&] { return files.empty() ? std::string() : files[pick(files.size())]; };
        switch (pick(12)) {
        case 0:
        case 1: {
            const std::string path = anyFolder() + '/' + name();
            std::ofstream(path) << "{}\n";
            return "create " + path;
        }
        // Without files the path is empty and the change fails, as it may.
        case 2: {
            const std::string path = anyFile();
            std::ofstream(path, std::ios::app) << std::string(1 + pick(50), 'x') << '\n';
            return "append " + path;
        }
        case 3: {
            const std::string path = anyFile(), to = anyFolder() + '/' + name();
            ::rename(path.c_str(), to.c_str());
            return "rename " + path + " -> " + to;
        }
        case 4: {
            const std::string path = anyFile();
            ::unlink(path.c_str());
            return "delete " + path;
        }
        case 5: {
            // A folder created later, nested, with a transcript written into it at once.
            std::string folder = anyFolder();
            for (std::size_t depth = 1 + pick(3); depth > 0; --depth) {
                folder += "/d" + std::to_string(pick(5));
                ::mkdir(folder.c_str(), 0755);
            }
            std::ofstream(folder + '/' + name()) << "{}\n";
            return "folders " + folder;
        }
        case 6: {
            const std::string from = anyFolder();
            const std::string to = anyFolder() + "/m" + std::to_string(pick(5));
            ::rename(from.c_str(), to.c_str()); // fails into itself, as it should
            return "move folder " + from + " -> " + to;
        }
        case 7: {
            const std::string folder = anyFolder(); // the root itself when it has no folders
            std::error_code ignored;
            fs::remove_all(folder, ignored);
            return "remove folder " + folder;
        }
        case 8: {
            // Equal modification times, later than any write, so that they tie for the newest.
            const timespec times[2] = {{m_tie, 0}, {m_tie, 0}};
            std::string done = "equal times";
            for (std::size_t count = 2 + pick(3); count > 0 && !files.empty(); --count) {
                const std::string path = anyFile();
                ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
                done += ' ' + path;
            }
            if (pick(4) == 0)
                m_tie += 1;
            return done;
        }
        case 9: {
            // Look-alikes: links named as transcripts, a folder named as one, other extensions.
            const std::string folder = anyFolder();
            switch (pick(3)) {
            case 0:
                ::symlink(anyFile().c_str(), (folder + "/link.jsonl").c_str());
                return "link in " + folder;
            case 1:
                ::mkdir((folder + "/dir.jsonl").c_str(), 0755);
                return "folder dir.jsonl in " + folder;
            default:
                std::ofstream(folder + "/upper.JSONL") << "{}\n";
                return "upper.JSONL in " + folder;
            }
        }
        case 10: {
            // The root disappears, or comes back whole from elsewhere.
            const std::string parked = m_home + "/parked";
            std::error_code ignored;
            if (fs::exists(parked)) {
                ::rename(parked.c_str(), root.c_str());
                return "root back " + root;
            }
            if (pick(2)) {
                ::rename(root.c_str(), parked.c_str());
                return "root parked " + root;
            }
            fs::remove_all(root, ignored);
            return "root removed " + root;
        }
        default:
            fs::create_directories(root);
            return "root made " + root;
        }
    }

private:
    std::size_t pick(std::size_t count) { return std::uniform_int_distribution<std::size_t>(0, count - 1)(m_random); }

    std::string name() { return "s" + std::to_string(pick(8)) + ".jsonl"; }

    // Folders below ROOT (FOLDERS true) or its regular transcript files, links not followed.
    static std::vector<std::string> entries(const std::string &root, bool folders)
    {
        std::vector<std::string> found;
        std::error_code error;
        for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
             it.increment(error)) {
            const fs::file_status status = it->symlink_status();
            if (folders ? fs::is_directory(status)
                        : fs::is_regular_file(status) && it->path().extension() == ".jsonl")
                found.push_back(it->path().string());
        }
        std::sort(found.begin(), found.end());
        return found;
    }

    std::string m_home;
    std::vector<std::string> m_roots;
    std::mt19937 m_random;
    std::int64_t m_tie = 4102444800; // 2100-01-01
};

// Every answer the two sources give about one root: newest overall and per first-level folder,
// the listing and each listed file's size.
QString answers(TranscriptSource &source, const std::string &root)
{
    QString text;
    const auto newest = [&](const std::string &folder) {
        return QString::fromStdString(source.newest(root, folder).value_or("none"));
    };
    text += u"newest "_s + newest(root) + u'\n';
    std::error_code error;
    for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        if (it->symlink_status().type() == fs::file_type::directory)
            text += u"  in "_s + QString::fromStdString(it->path().string()) + u": "_s +
                    newest(it->path().string()) + u'\n';
    }
    const TranscriptSource::Listing listing = source.listing(root);
    for (const std::string &path : listing.paths ? *listing.paths : std::vector<std::string>{})
        text += QString::fromStdString(path) + u' ' +
                QString::number(source.size(root, path).value_or(-1)) + u'\n';
    return text;
}

} // namespace

class TestTranscriptSource : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void differential_data()
    {
        QTest::addColumn<unsigned>("seed");
        QTest::addColumn<int>("queueLimit");
        QTest::addColumn<bool>("claudeConfigDir");
        QTest::newRow("seed 1") << 1u << 0 << false;
        QTest::newRow("overflow forced by a queue of 3 events") << 4u << 3 << false;
        QTest::newRow("CLAUDE_CONFIG_DIR outside the home folder, seed 5") << 5u << 0 << true;
    }

    // After every random change the index answers as the walk does, and a tracker on each reports
    // the same events and pending files. Changes land in every root: Claude Code's own (moved by
    // CLAUDE_CONFIG_DIR in a row), Claude Desktop's agent sessions (inside and outside their
    // ".claude/projects" folders) and Codex's.
    void differential()
    {
        QFETCH(unsigned, seed);
        QFETCH(int, queueLimit);
        QFETCH(bool, claudeConfigDir);
        TranscriptHome home, elsewhere;
        const RootEnvironment environment{
            claudeConfigDir ? QFile::encodeName(elsewhere.path()).toStdString() + "/claude/" : "", ""};
        TranscriptWalk walk(home.path(), environment);
        TranscriptIndex index(home.path(), std::size_t(queueLimit), environment);
        std::vector<std::string> roots = walk.roots(harnesses[0]);
        fs::create_directories(roots[0] + "/-home-ada-app");
        fs::create_directories(roots[1] + "/app/machine/local_1/.claude/projects/-home-ada-app");
        roots.push_back(walk.roots(harnesses[1]).front());
        ManualClock clock;
        DesktopSessionFileTracker walkTracker(walk, clock), indexTracker(index, clock);
        walkTracker.takeBaseline(harnesses);
        indexTracker.takeBaseline(harnesses);
        RandomTree tree(QFile::encodeName(home.path()).toStdString(), roots, seed);
        int events = 0;
        for (int step = 0; step < 300; ++step) {
            const std::string done = tree.step();
            for (const Manifest::KnownHarness harness : harnesses) {
                QString expected, got;
                for (const std::string &root : walk.roots(harness)) {
                    expected += answers(walk, root);
                    got += answers(index, root);
                }
                if (got != expected)
                    QFAIL(qPrintable(u"step %1 (%2):\nwalk:\n%3index:\n%4"_s.arg(step).arg(
                        QString::fromStdString(done), expected, got)));
                const auto event = walkTracker.poll(harness);
                QCOMPARE(indexTracker.poll(harness), event);
                QCOMPARE(indexTracker.pending().value(harness).path,
                         walkTracker.pending().value(harness).path);
                events += event.has_value();
            }
            clock.advance(4s);
        }
        QVERIFY2(events > 20, "the trackers should have seen new files come and go");
        if (queueLimit != 0)
            QVERIFY2(index.fullWalks() > 50, "a tiny queue should overflow often");
        else
            QVERIFY2(index.fullWalks() < 150, "without overflow only root changes walk again");
    }

    // Roots that appear, disappear and come back through a link, an overflow walking again, the
    // change handler running from the event loop, and a tree it cannot report for.
    void rootsAndChanges()
    {
        TranscriptHome home;
        TranscriptIndex index(home.path());
        const std::string root = index.roots(Manifest::KnownHarness::ClaudeCode).front();
        int changes = 0;
        index.setChangeHandler([&] {
            ++changes;
            index.newest(root, root); // asking again from the handler is allowed
        });
        const auto newest = [&] { return index.newest(root, root).value_or("none"); };
        QCOMPARE(newest(), "none");
        const std::size_t walks = index.fullWalks();

        // The root and its parent appear.
        writeFile(home.filePath(u".claude/projects/-a/s.jsonl"_s), "{}\n");
        QCOMPARE(newest(), root + "/-a/s.jsonl");
        QVERIFY(index.fullWalks() > walks);
        QTRY_VERIFY(changes > 0);

        // Without any question, the event loop takes the events and runs the handler.
        changes = 0;
        writeFile(home.filePath(u".claude/projects/-a/s.jsonl"_s), "more\n", true);
        QTRY_VERIFY(changes >= 1);

        // The whole .claude folder goes; then the root comes back as a link to a prepared tree.
        QVERIFY(QDir(home.filePath(u".claude"_s)).removeRecursively());
        QCOMPARE(newest(), "none");
        writeFile(home.filePath(u"elsewhere/-c/u.jsonl"_s), "{}\n");
        QVERIFY(QDir().mkpath(home.filePath(u".claude"_s)));
        QVERIFY(QFile::link(home.filePath(u"elsewhere"_s), home.filePath(u".claude/projects"_s)));
        QCOMPARE(newest(), root + "/-c/u.jsonl");
        writeFile(home.filePath(u"elsewhere/-c/v.jsonl"_s), "{}\n");
        QCOMPARE(newest(), root + "/-c/v.jsonl");

        // Overflow of the kernel's queue: more events than it holds, then everything walked again.
        std::ifstream limitFile("/proc/sys/fs/inotify/max_queued_events");
        std::size_t limit = 0;
        limitFile >> limit;
        if (limit > 0 && limit <= 100000) {
            const std::size_t before = index.fullWalks();
            const QByteArray folder = QFile::encodeName(home.filePath(u"elsewhere/-c"_s));
            // Alternating files: the kernel merges an event equal to the one queued last.
            for (std::size_t i = 0; i <= limit; ++i) {
                const QByteArray path = folder + (i % 2 ? "/v.jsonl" : "/x.txt");
                const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT, 0644);
                QVERIFY(fd >= 0 && ::write(fd, "x", 1) == 1);
                ::close(fd);
            }
            writeFile(home.filePath(u"elsewhere/-c/w.jsonl"_s), "{}\n");
            QCOMPARE(newest(), root + "/-c/w.jsonl");
            QVERIFY(index.fullWalks() > before);
        }

        // A tree that shares its folder with the other cannot be watched: it reports no changes.
        const std::string codexRoot = index.roots(Manifest::KnownHarness::Codex).front();
        QVERIFY(index.reportsChanges(root) && index.reportsChanges(codexRoot));
        QVERIFY(QDir().mkpath(home.filePath(u".codex"_s)));
        QVERIFY(QFile::link(home.filePath(u"elsewhere"_s), home.filePath(u".codex/sessions"_s)));
        index.processPendingEvents();
        QVERIFY(index.reportsChanges(root) && !index.reportsChanges(codexRoot));
    }
};

QTEST_GUILESS_MAIN(TestTranscriptSource)
#include "tst_transcriptsource.moc"

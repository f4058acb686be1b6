#include "AwaitCompletion.h"
#include "FixtureHome.h"

#include "setup/RouterOperations.h"
#include "setup/SystemSetupEngine.h"

#include <QDirIterator>
#include <QProcess>
#include <QUuid>
#include <QRegularExpression>

#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <thread>

using namespace Qt::StringLiterals;

static const QString kSpec = u"orvane@latest"_s;

class TestRouterOperations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Two installs at once under a permissive umask: each writes its own owner-only answers file,
    // hands it to the installer and removes it however the installer ends, a crash included; the
    // key in it is written nowhere else: not in the home, not in the temporary directory (the
    // fixture home is both), not in the operation's outcome. Then update and uninstall.
    void operations_data()
    {
        QTest::addColumn<QString>("shell");
        QTest::addColumn<QByteArray>("ending");
        QTest::addColumn<int>("status"); // -1: killed by a signal
        QTest::newRow("bash, commands succeed") << u"bash"_s << QByteArray("exit 0") << 0;
        QTest::newRow("zsh, commands fail") << u"zsh"_s << QByteArray("exit 4") << 4;
        QTest::newRow("killed") << u"bash"_s << QByteArray("kill -KILL $$") << -1;
        QTest::newRow("crashes") << u"bash"_s << QByteArray("kill -SEGV $$") << -1;
        QTest::newRow("its group killed") << u"bash"_s << QByteArray("kill -TERM 0; sleep 5") << -1;
    }

    void operations()
    {
        QFETCH(QString, shell);
        QFETCH(QByteArray, ending);
        QFETCH(int, status);
        QCOMPARE(Setup::answersJson({}), R"({"harnesses":[]})");
        const QByteArray key = "sk-it's $x \"q\"\n\\ \xc3\xbc " + QUuid::createUuid().toByteArray(QUuid::Id128);
        const Setup::InstallAnswers answers{
            {u"claude-code"_s, u"codex"_s},
            {{u"claude_funding"_s, {u"subscription"_s}}, {u"openai_funding"_s, {}}},
            {{u"api_key"_s, QString::fromUtf8(key)}, {u"org"_s, QString()}}};
        SKIP_UNLESS_INSTALLED(shell);
        FixtureHome home(shell);
        // The answers are kept encoded, so that the home holds the key nowhere.
        home.program(
            u"npx"_s,
            R"(echo "$npm_config_progress" >> "$HOME/progress"; stat -c '%a %n' "$5" >> "$HOME/installs"; base64 -w0 "$5" > "$HOME/answers"; printf 'working\n\033[31mCould not configure\033[0m\n'; )" + ending);
        const mode_t mask = ::umask(0);
        const Awaited<void> awaited = awaitCompletion<void>(
            [&](Setup::Completion<void> done) {
                Setup::runInstall(answers, kSpec, done);
                Setup::runInstall(answers, kSpec, done);
            },
            2);
        ::umask(mask);
        QVERIFY(awaited.proper && awaited.result->has_value() == !status);
        QVERIFY(status < 0 || awaited.error().status == status);
        QVERIFY(status <= 0 || awaited.error().output.endsWith(u"working\r\nCould not configure"_s));
        QVERIFY(!awaited.error().output.contains(QString::fromUtf8(key)));

        const QStringList arguments = home.arguments(u"npx"_s);
        QCOMPARE(arguments, (QStringList{u"--yes"_s, kSpec, u"install"_s, u"--config"_s,
                                         arguments.value(4), u"--yes"_s}));
        // Each install logged its file's mode and path: two names in the temporary directory.
        const QStringList log = QString::fromUtf8(home.read(u"installs"_s)).split(u'\n');
        const QRegularExpression line(
            u"^600 "_s + QRegularExpression::escape(home.path()) +
            u"/orv_install_[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.json$"_s);
        QVERIFY2(log.filter(line).size() == 2 && log.size() == 3 && log[0] != log[1],
                 qPrintable(log.join(u'\n')));
        const QByteArray json =
            "{\"harnesses\":[\"claude-code\",\"codex\"],\"claude_funding\":[\"subscription\"],"
            "\"openai_funding\":[],\"api_key\":\"sk-it's $x \\\"q\\\"\\n\\\\ \xc3\xbc " +
            key.mid(key.lastIndexOf(' ') + 1) + "\"}";
        QCOMPARE(QByteArray::fromBase64(home.read(u"answers"_s)), json);
        QCOMPARE(QDir(home.path()).entryList({u"orv_install_*"_s}, QDir::Files | QDir::Hidden), QStringList());

        // Update and uninstall: their exact command lines, their status.
        for (const auto &[operation, expected] :
             {std::pair{&Setup::runUpdate, "--yes orvane@latest update --all"},
              std::pair{&Setup::runUninstall, "--yes orvane@latest uninstall --all --yes"}}) {
            const Awaited<void> other = awaitCompletion<void>(
                [&](Setup::Completion<void> done) { operation(kSpec, std::move(done)); });
            QVERIFY(other.proper && other.result->has_value() == !status);
            QVERIFY(status < 0 || other.error().status == status);
            QCOMPARE(home.arguments(u"npx"_s).join(u' '), QString::fromLatin1(expected));
        }
        // npm's spinner is off for every one of them (it would leave a frame as the last line).
        QCOMPARE(home.read(u"progress"_s), "false\nfalse\nfalse\nfalse\n"_ba);
        QDirIterator files(home.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString file = files.next();
            QVERIFY2(!home.read(QDir(home.path()).relativeFilePath(file)).contains(key), qPrintable(file));
        }
    }

    // The answers file cannot be written: the install fails with the platform's error, runs
    // nothing and leaves nothing behind.
    void answersFileWriteFailures_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QString>("operation"); // of the PlatformError
        QTest::newRow("temporary folder not writable") << u"read-only"_s << u"write"_s;
        QTest::newRow("a file in the folder's place") << u"file"_s << u"write"_s;
        QTest::newRow("the disk fills up while writing") << u"full"_s << u"write"_s;
        QTest::newRow("temporary folder missing") << u"missing"_s << QString::fromLatin1(Setup::missingFolderOperation);
    }
    void answersFileWriteFailures()
    {
        QFETCH(QString, obstacle);
        QFETCH(QString, operation);
        FixtureHome home;
        home.program(u"npx"_s, "exit 0");
        const QString folder = home.path(u"tmp"_s);
        if (obstacle == u"file"_s) {
            home.write(u"tmp"_s, "not a folder");
        } else if (obstacle != u"missing"_s) {
            QVERIFY(QDir().mkpath(folder));
            if (obstacle == u"read-only"_s) {
                if (::geteuid() == 0)
                    QSKIP("root writes into read-only folders");
                QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
            }
        }
        qputenv("TMPDIR", QFile::encodeName(folder));
        Setup::InstallAnswers answers{{u"codex"_s}, {}, {{u"api_key"_s, QString(64 * 1024, u'k')}}};

        // A file-size limit stands in for a full disk: the write stops part-way.
        struct rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        if (obstacle == u"full"_s) {
            struct rlimit small = saved;
            small.rlim_cur = 4096;
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        const Awaited<void> awaited = awaitCompletion<void>(
            [&](Setup::Completion<void> done) { Setup::runInstall(answers, kSpec, std::move(done)); });
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QCOMPARE(awaited.describe(), operation);
        QVERIFY(!QFileInfo::exists(home.path(u"npx.args"_s))); // nothing ran
        if (obstacle != u"file"_s)
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // Another user can never read the answers: the file has mode 0600 from the moment it
    // exists, even under a umask that lets everyone read new files. A watcher looks at the file
    // as soon as it appears, while the (large) answers are still being written.
    void answersFileIsPrivateFromTheStart()
    {
        FixtureHome home;
        home.program(u"npx"_s, "exit 0");
        const int watch = ::inotify_init1(IN_CLOEXEC);
        QVERIFY(watch >= 0);
        QVERIFY(::inotify_add_watch(watch, QFile::encodeName(home.path()).constData(), IN_CREATE) >= 0);
        // The first file made in the home (the temporary folder) is the answers file.
        std::optional<mode_t> seen;
        std::thread watcher([&] {
            alignas(inotify_event) char buffer[4096];
            const auto *event = reinterpret_cast<const inotify_event *>(buffer);
            struct stat status{};
            if (::read(watch, buffer, sizeof buffer) <= 0)
                return;
            const QByteArray path = QFile::encodeName(home.path()) + '/' + QByteArray(event->name);
            if (::lstat(path.constData(), &status) == 0)
                seen = status.st_mode & 07777;
        });
        const mode_t mask = ::umask(0);
        const Setup::InstallAnswers answers{{u"codex"_s}, {}, {{u"api_key"_s, QString(16 << 20, u'k')}}};
        const Awaited<void> awaited = awaitCompletion<void>(
            [&](Setup::Completion<void> done) { Setup::runInstall(answers, kSpec, std::move(done)); });
        ::umask(mask);
        watcher.join();
        ::close(watch);
        QVERIFY(awaited.succeeded());
        QCOMPARE(seen, std::optional<mode_t>(0600));
    }

    // Quitting while an installer runs ends its processes and removes its answers; at start,
    // what a killed copy left is removed, unless it is not a private file of ours or an
    // installer still reads it.
    void answersGoneWhenTheProgramEnds()
    {
        FixtureHome home;
        home.program(u"npx"_s, R"(sleep 60 & echo $! > "$HOME/pids"; echo $$ >> "$HOME/pids"; wait)");
        auto engine = std::make_unique<Setup::SystemSetupEngine>();
        engine->runInstall({{u"codex"_s}, {}, {}}, kSpec, [](Setup::SetupResult<void>) {});
        QTRY_VERIFY_WITH_TIMEOUT(home.read(u"pids"_s).count('\n') == 2, 20000);
        engine.reset();
        QCOMPARE(QDir(home.path()).entryList({u"orv_install_*"_s}, QDir::Files), QStringList());
        for (const QByteArray &pid : home.read(u"pids"_s).trimmed().split('\n')) {
            QFile stat(u"/proc/"_s + QString::fromLatin1(pid) + u"/stat"_s);
            QVERIFY2(!stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z "), pid.constData());
        }

        const auto file = [&](const QString &name, QFile::Permissions permissions) {
            home.write(name, "{}");
            QFile::setPermissions(home.path(name), permissions);
            return home.path(name);
        };
        const QFile::Permissions owner = QFile::ReadOwner | QFile::WriteOwner;
        file(u"orv_install_LEFT.json"_s, owner);
        file(u"orv_install_SHARED.json"_s, owner | QFile::ReadOther);
        QVERIFY(QFile::link(file(u"target"_s, owner), home.path(u"orv_install_LINK.json"_s)));
        QProcess reader;
        // Waits on its input with the file on its command line, and no child to outlive it.
        reader.start(u"sh"_s, {u"-c"_s, u"read -r _"_s, u"sh"_s, file(u"orv_install_READ.json"_s, owner)});
        QVERIFY(reader.waitForStarted());
        QCOMPARE(Setup::RunningInstalls::removeLeftAnswersFiles(home.path()), 1);
        reader.kill();
        reader.waitForFinished();
        QCOMPARE(QDir(home.path()).entryList({u"orv_install_*"_s}, QDir::Files | QDir::System),
                 (QStringList{u"orv_install_LINK.json"_s, u"orv_install_READ.json"_s,
                              u"orv_install_SHARED.json"_s}));
    }
};

QTEST_GUILESS_MAIN(TestRouterOperations)
#include "tst_routeroperations.moc"

#include "AwaitCompletion.h"
#include "FixtureHome.h"

#include "setup/DesktopApp.h"
#include "setup/DesktopLaunchers.h"

#include "platform/DesktopEntry.h"
#include "platform/ProcRunningApplications.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

#include <csignal>

#include <unistd.h>

using namespace Qt::StringLiterals;

// The desktop applications: which run, quitting them, launching them (OpenCode by its desktop
// entry) and the terminal, in a fixture home whose bin/ holds a recording `orv`; OpenCode's
// desktop entry starts that `orv` too.
class TestDesktopApps : public QObject
{
    Q_OBJECT

    FixtureHome m_home;

private Q_SLOTS:
    void initTestCase()
    {
        // Fails, as the tool does, when asked for a desktop application it cannot start.
        m_home.write(u"bin/orv"_s,
                     "#!/bin/sh\nIFS='|'; echo \"orv|$*\" >> \"$HOME/ran\"\n[ \"$1\" = codex ] && "
                     "{ echo 'Codex Desktop is not installed'; exit 3; }\nexit 0\n",
                     true);
        // The application writes a second after it started, when the launch is over: the
        // runner's pipe would be closed by then (a SIGPIPE would end it before it records).
        m_home.write(u"bin/opencode"_s,
                     "#!/bin/sh\nPATH=/usr/bin:/bin; sleep 1; echo hi; echo hi >&2; "
                     "exec \"${0%/*}/orv\" entry\n",
                     true);
        m_home.write(u"data/applications/ai.opencode.desktop"_s,
                     "[Desktop Entry]\nType=Application\nName=OpenCode\nExec=\"" +
                         QFile::encodeName(m_home.path(u"bin/opencode"_s)) + "\"\n");
    }

    void findAndQuit_data()
    {
        // Processes as "<+ if it matches>[~: executable removed once started][%: run as nobody]
        // <name>,<argument>...;...", "@" standing for a name of this test's own.
        QTest::addColumn<QString>("started");
        QTest::addColumn<QString>("names"); // ";"-separated
        QTest::addColumn<int>("app");       // a Setup::DesktopApp whose names are used instead; -1: none
        // clang-format off
        const auto row = [](const char *name, const char *started, const char *names, int app = -1) { QTest::newRow(name) << QString::fromUtf8(started) << QString::fromUtf8(names) << app; };
        row("exact, case-sensitive names", "+@App;-@app;-@APP;-@AppX;-@App.bin;-@Other", "@App");
        row("several names, one with a space", "+@App;+@App Desktop;-@app desktop", "@App;@App Desktop");
        row("helper processes skipped", "-@App,--type=renderer;-@App,--no-sandbox,--type=gpu-process;+@App,--enable-features=x,type=x", "@App");
        row("executable removed while running", "+~@App", "@App");
        row("only the current user's processes", "+@App;-%@App", "@App");
        row("Claude Desktop, not the claude tool", "+Claude;+Claude Desktop;+claude-desktop;-claude;-Claude,--type=renderer;-Codex", "", int(Setup::DesktopApp::Claude));
        row("only the claude tool", "-claude;-Claude,--type=gpu-process;-Codex;-OpenCode", "", int(Setup::DesktopApp::Claude));
        row("Codex Desktop, not the codex tool", "+Codex;+codex-desktop;-codex;-Codex Desktop;-Claude", "", int(Setup::DesktopApp::Codex));
        row("OpenCode, not the opencode tool", "+OpenCode;-opencode", "", int(Setup::DesktopApp::OpenCode));
        // clang-format on
    }

    void findAndQuit()
    {
        QFETCH(QString, started);
        QFETCH(QString, names);
        QFETCH(int, app);
        const QString unique = u"Orv"_s + QString::number(::getpid());
        const QStringList list = app < 0
                                     ? names.replace(u'@', unique).split(u';', Qt::SkipEmptyParts)
                                     : Setup::applicationNames(Setup::DesktopApp(app));
        Platform::ProcRunningApplications applications;
        if (applications.isRunning(list))
            QSKIP("a real copy of the application runs on this machine; not quitting it");
        if (started.contains(u'%') && ::geteuid() != 0)
            QSKIP("only root can start a process as another user");
        QVERIFY(QFile::setPermissions(m_home.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                         QFile::ExeOwner | QFile::ExeOther));
        std::vector<std::unique_ptr<QProcess>> processes; // copies of the shell under app names
        const QStringList entries = started.replace(u'@', unique).split(u';');
        for (const QString &entry : entries) {
            const QStringList words =
                QString(entry).remove(QRegularExpression(u"^[+-][~%]?"_s)).split(u',');
            const QString path = m_home.path(words.front());
            QVERIFY(QFile::exists(path) || QFile::copy(u"/bin/sh"_s, path));
            QStringList command{path, u"-c"_s, u"read line"_s};
            if (entry.contains(u'%'))
                command =
                    u"setpriv --reuid=65534 --regid=65534 --clear-groups"_s.split(u' ') + command;
            auto &process = processes.emplace_back(std::make_unique<QProcess>());
            process->start(command.front(), command.mid(1) + words);
            QVERIFY(process->waitForStarted());
            // setpriv replaces itself with the copy; wait until it has, up to its arguments
            // (the executable's link is set earlier, and a helper is told by its arguments).
            const auto commandLine = [&] {
                QFile file(u"/proc/%1/cmdline"_s.arg(process->processId()));
                return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            };
            QTRY_COMPARE(commandLine().split('\0').value(0), QFile::encodeName(path));
            QVERIFY(!entry.contains(u'~') || QFile::remove(path));
        }
        QCOMPARE(app < 0 ? applications.isRunning(list) : Setup::isDesktopAppRunning(Setup::DesktopApp(app)),
                 started.contains(u'+'));
        QCOMPARE(app < 0 ? applications.terminate(list) : Setup::terminateDesktopApp(Setup::DesktopApp(app)),
                 started.count(u'+'));
        // The rows' notation again, "+" for each that quit by the terminate signal; nothing else
        // was sent a signal: the others still run a moment later.
        QStringList quit;
        for (std::size_t i = 0; i < processes.size(); ++i) {
            const QString &entry = entries.at(qsizetype(i));
            const bool ended = processes[i]->waitForFinished(entry.startsWith(u'+') ? 5000 : 100);
            quit.append((ended && processes[i]->exitCode() == SIGTERM ? u'+' : u'-') +
                        entry.mid(1));
        }
        QCOMPARE(quit.join(u';'), started);
    }

    void launch_data()
    {
        // "claude <mode>", "codex <mode>", or "opencode" with " installed" for its desktop entry
        QTest::addColumn<QString>("which");
        QTest::addColumn<QByteArray>("shell");
        QTest::addColumn<QString>("ran");     // what orv recorded, "|"-separated
        QTest::addColumn<QString>("outcome"); // as Awaited::describe() gives it
        // clang-format off
        const auto row = [](const char *name, const char *which, const char *ran, const char *outcome, const char *shell = "/bin/bash") { QTest::newRow(name) << QString::fromUtf8(which) << QByteArray(shell) << QString::fromUtf8(ran) << QString::fromUtf8(outcome); };
        row("claude gateway", "claude gateway", "orv|claude|desktop|gateway", "");
        row("codex native fails", "codex native", "orv|codex|desktop|native", "3 Codex Desktop is not installed");
        row("opencode not installed", "opencode", "", "1 OpenCode is not installed.");
        row("opencode opened by gio", "opencode installed", "orv|entry", "");
        // Without gio on PATH (KDE, Xfce): gtk-launch with the entry's id, else its Exec line.
        row("opencode by gtk-launch", "opencode installed, gtk-launch", "gtk-launch|ai.opencode.desktop\norv|entry", "");
        row("opencode by its Exec line", "opencode installed, neither", "orv|entry", "");
        row("the shell cannot start", "claude native", "", "launch", "/nonexistent/zsh");
        // clang-format on
    }

    void launch()
    {
        QFETCH(QString, which);
        QFETCH(QByteArray, shell);
        QFETCH(QString, ran);
        QFile::remove(m_home.path(u"ran"_s));
        const QString data = which.contains(u"installed") ? u"data"_s : u"none"_s;
        // A PATH without gio: bin/ and a folder holding sh and, when asked for, a recording
        // gtk-launch.
        const QByteArray rc = m_home.read(u".bashrc"_s);
        const auto restoreRc = qScopeGuard([&] { m_home.write(u".bashrc"_s, rc); });
        if (which.contains(u", "_s)) {
            const QString tools = u"tools "_s + which.section(u", "_s, 1);
            QVERIFY(QDir().mkpath(m_home.path(tools)));
            QFile::link(u"/bin/sh"_s, m_home.path(tools + u"/sh"_s));
            if (which.endsWith(u"gtk-launch"))
                m_home.write(tools + u"/gtk-launch"_s,
                             "#!/bin/sh\nIFS='|'; echo \"gtk-launch|$*\" >> \"$HOME/ran\"\n"
                             "\"$HOME/bin/opencode\" &\n",
                             true);
            m_home.write(u".bashrc"_s, "PATH=\"$HOME/bin:$HOME/" + tools.toUtf8() + "\"\n");
        }
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.path(data)));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(m_home.path(u"none"_s)));
        qputenv("SHELL", shell);
        const auto mode = Setup::desktopLaunchModeFromString(which.section(u' ', 1));
        const auto awaited = awaitCompletion<void>([&](Setup::Completion<void> done) {
            if (which.startsWith(u"opencode"))
                return Setup::launchOpenCodeDesktop(done);
            (which.startsWith(u"claude") ? Setup::launchClaudeDesktop : Setup::launchCodexDesktop)(
                mode.value(), done, Setup::loginShellRunner());
        });
        QTEST(awaited.describe(), "outcome");
        // gio returns before the entry's program has run.
        QTRY_COMPARE(QString::fromUtf8(m_home.read(u"ran"_s)).trimmed(), ran);
    }

    void findDesktopEntry_data()
    {
        // "<folder>/<path>:<lines>|...", folder 0 the user's data folder, 1 and 2 the system's;
        // ";" ends a line, "@" is the fixture root, and "[Desktop Entry]" comes first unless the
        // lines start with "^".
        QTest::addColumn<QString>("files");
        QTest::addColumn<QString>("expected"); // "<folder>/<path>"; empty: nothing found
        // clang-format off
        const auto row = [](const char *name, const char *files, const char *expected) { QTest::newRow(name) << QString::fromUtf8(files) << QString::fromUtf8(expected); };
        row("by name in a system folder", "1/other.desktop:Name=Other|2/opencode.desktop:Type=Application;Name=OpenCode", "2/opencode.desktop");
        row("user folder first", "0/mine.desktop:Name=OpenCode|1/sys.desktop:Name=OpenCode", "0/mine.desktop");
        row("hidden skipped, next folder's entry used", "0/a.desktop:Name=OpenCode;Hidden=true|1/b.desktop:Name=OpenCode", "1/b.desktop");
        row("hidden copy removes the same id below", "0/opencode.desktop:Name=OpenCode;Hidden=true|2/opencode.desktop:Name=OpenCode", "");
        row("Hidden only when exactly true, in the entry's group", "0/a.desktop:Name=OpenCode;Hidden=True;[Desktop Action new];Hidden=true", "0/a.desktop");
        row("TryExec not in PATH skipped", "0/a.desktop:Name=OpenCode;TryExec=orvane-no-such-program|0/b.desktop:StartupWMClass=OpenCode", "0/b.desktop");
        row("TryExec absolute missing or not executable skipped", "0/a.desktop:Name=OpenCode;TryExec=/nonexistent/oc|0/b.desktop:Name=OpenCode;TryExec=@/0/applications/a.desktop", "");
        row("TryExec found in PATH", "1/a.desktop:Name=OpenCode;TryExec=sh", "1/a.desktop");
        row("TryExec absolute present", "1/a.desktop:Name=OpenCode;TryExec=/bin/sh", "1/a.desktop");
        row("by window class, first by file name in a folder", "1/z.desktop:Name=OpenCode|1/b.desktop:Name=Open Code;StartupWMClass=OpenCode", "1/b.desktop");
        row("subfolders searched", "2/vendor/opencode.desktop:Name=OpenCode", "2/vendor/opencode.desktop");
        row("names compared exactly, other extensions ignored", "0/oc.desktop:Name=opencode;StartupWMClass=opencode|0/opencode.desktop.bak:Name=OpenCode", "");
        row("spaces around equals, comments, CRLF", "0/a.desktop:^# Hidden=true\r;[Desktop Entry]\r;  Name = OpenCode  \r", "0/a.desktop");
        row("only the entry group's own keys count", "0/a.desktop:Name=Other;[Desktop Action new];Name=OpenCode|0/b.desktop:^Name=OpenCode;[Desktop Entry];Name=Other|0/c.desktop:Name[de]=OpenCode;Name=Open Code|0/d.desktop:^[Other];Name=OpenCode", "");
        // clang-format on
    }

    void findDesktopEntry()
    {
        QFETCH(QString, files);
        QFETCH(QString, expected);
        QTemporaryDir root;
        for (const QString &file : files.split(u'|')) {
            QString lines = file.section(u':', 1).replace(u'@', root.path());
            lines = lines.startsWith(u'^') ? lines.mid(1) : u"[Desktop Entry];"_s + lines;
            QFile out(root.filePath(file.section(u':', 0, 0).insert(1, u"/applications"_s)));
            QVERIFY(QDir().mkpath(QFileInfo(out).path()) && out.open(QIODevice::WriteOnly));
            out.write(lines.replace(u';', u'\n').toUtf8());
        }
        // The third folder does not exist unless a row puts a file in it, like an unused one.
        qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(u"0"_s)));
        qputenv("XDG_DATA_DIRS",
                QFile::encodeName(root.filePath(u"1:"_s) + root.filePath(u"2/"_s)));
        const QString found = Platform::findDesktopEntry(u"OpenCode"_s).value_or(QString());
        QCOMPARE(found, expected.isEmpty()
                            ? QString()
                            : root.filePath(expected.insert(1, u"/applications"_s)));
    }

    void openTerminal_data()
    {
        // Fake terminals in PATH, each told to run the login shell; "!": one that won't start, "-": one that fails at once (as
        // xdg-terminal-exec with nothing configured does), "+": one that keeps running.
        QTest::addColumn<QString>("installed");
        QTest::addColumn<QByteArray>("terminal"); // $TERMINAL; null: unset, "@": the PATH folder
        QTest::addColumn<QString>("started"); // program, "~" (home) and arguments; or describe()
        // clang-format off
        const auto row = [](const char *name, const char *installed, const char *terminal, const char *started) { QTest::newRow(name) << QString::fromUtf8(installed) << QByteArray(terminal) << QString::fromUtf8(started); };
        row("TERMINAL as a path, before the others", "mine xdg-terminal-exec", "@/mine", "mine ~ -e /bin/bash -l");
        row("TERMINAL with options", "mine xterm", "mine --single-instance", "mine ~ --single-instance -e /bin/bash -l");
        row("TERMINAL not installed", "kitty", "mine", "kitty ~ /bin/bash -l");
        row("xdg-terminal-exec before the others", "xterm x-terminal-emulator xdg-terminal-exec", nullptr, "xdg-terminal-exec ~ /bin/bash -l");
        row("one that will not start is passed over", "!konsole wezterm", nullptr, "wezterm ~ start -- /bin/bash -l");
        row("none installed", "", "mine", "127 Terminal couldn't be opened.");
        row("none would start", "!alacritty", nullptr, "126 Terminal couldn't be opened.");
        row("an opener that fails at once is passed over", "-xdg-terminal-exec xterm", nullptr, "xdg-terminal-exec ~ /bin/bash -l\nxterm ~ -e /bin/bash -l");
        row("one still running after a second has opened", "+xdg-terminal-exec xterm", nullptr, "xdg-terminal-exec ~ /bin/bash -l");
        row("gnome-terminal takes the command after --", "gnome-terminal", nullptr, "gnome-terminal ~ -- /bin/bash -l");
        // clang-format on
    }

    void openTerminal()
    {
        QFETCH(QString, installed);
        QFETCH(QByteArray, terminal);
        QFETCH(QString, started);
        const QString bin = m_home.path(u"terminals"_s);
        QVERIFY(QDir(bin).removeRecursively());
        // Each adds a line saying which it is, where it was started and with what (and one for
        // each standard stream not on the null device), then ends (with status 4 for "-"; after
        // three seconds for "+").
        for (const QString &name : installed.split(u' ', Qt::SkipEmptyParts)) {
            const QByteArray record =
                "#!/bin/sh\nS=\"${0%/*}/started\"; echo \"${0##*/}\" \"$(pwd)\" \"$@\" >> \"$S\"\n"
                "for fd in 0 1 2; do\n"
                "  [ /proc/self/fd/$fd -ef /dev/null ] || echo \"fd $fd: ours\" >> \"$S\"\ndone\n";
            const QByteArray body = name.startsWith(u'!')   ? "#!/nonexistent/interpreter\n"
                                    : name.startsWith(u'-') ? record + "exit 4\n"
                                    : name.startsWith(u'+') ? record + "/bin/sleep 3; : > \"${0%/*}/ended\"\n"
                                                            : record;
            const qsizetype mark = QStringView(u"!-+").contains(name.at(0)) ? 1 : 0;
            m_home.write(u"terminals/"_s + name.mid(mark), body, true);
        }
        qputenv("PATH", QFile::encodeName(bin)); // nothing after this test needs PATH
        qputenv("SHELL", "/bin/bash");
        terminal.isNull() ? qunsetenv("TERMINAL")
                          : qputenv("TERMINAL", terminal.replace('@', QFile::encodeName(bin)));
        QElapsedTimer clock;
        clock.start();
        const auto awaited = awaitCompletion<void>([](auto done) { Setup::openTerminal(std::move(done)); });
        const qint64 took = clock.elapsed() - 30; // awaitCompletion waits that long for a second report
        const QString failure = awaited.describe();
        const QString opened = QString::fromUtf8(m_home.read(u"terminals/started"_s)).trimmed();
        QCOMPARE(failure.isEmpty() ? opened : failure,
                 started.replace(u'~', QDir(m_home.path()).canonicalPath()));
        if (installed.contains(u'+')) {
            // Counted as opened while still running, then left to run on.
            QVERIFY2(took >= 900, qPrintable(QString::number(took)));
            QVERIFY(!QFileInfo::exists(bin + u"/ended"_s)); // before it ended, not when
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(bin + u"/ended"_s), 10000);
            QTest::qWait(50); // its process object is let go once it has ended
        }
    }

    void applicationDirectories() // the defaults; relative settings are ignored
    {
        qputenv("HOME", "/home/ada"); // the last test: nothing after it needs HOME
        qputenv("XDG_DATA_HOME", "relative/home");
        qunsetenv("XDG_DATA_DIRS");
        // clang-format off
        QCOMPARE(Platform::applicationDirectories().join(u' '), u"/home/ada/.local/share/applications /usr/local/share/applications /usr/share/applications"_s);
        qputenv("XDG_DATA_DIRS", "rel:/opt/share/::");
        QCOMPARE(Platform::applicationDirectories().join(u' '), u"/home/ada/.local/share/applications /opt/share/applications"_s);
        // clang-format on
    }
};

QTEST_GUILESS_MAIN(TestDesktopApps)
#include "tst_desktopapps.moc"

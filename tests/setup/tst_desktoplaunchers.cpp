#include "setup/DesktopLaunchers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

Q_DECLARE_METATYPE(SetupResult<QString>)

namespace {

enum class Launcher
{
    ClaudeGateway,
    ClaudeNative,
    CodexGateway,
    CodexNative,
    OpenCode
};

// Stands in for the login-shell runner: remembers what it was asked to run and answers later
// from the event loop, as the real runner does.
struct RecordingRunner
{
    QList<QStringList> calls;
    SetupResult<QString> answer = QString();

    Setup::LoginShellRunner runner()
    {
        return [this](const QStringList &arguments, Completion<QString> done) {
            calls.append(arguments);
            QTimer::singleShot(0, [answer = answer, done = std::move(done)] { done(answer); });
        };
    }
};

void launch(Launcher launcher, Completion<void> done, const Setup::LoginShellRunner &run)
{
    switch (launcher) {
    case Launcher::ClaudeGateway:
        return Setup::launchClaudeDesktop(DesktopLaunchMode::gateway, std::move(done), run);
    case Launcher::ClaudeNative:
        return Setup::launchClaudeDesktop(DesktopLaunchMode::native, std::move(done), run);
    case Launcher::CodexGateway:
        return Setup::launchCodexDesktop(DesktopLaunchMode::gateway, std::move(done), run);
    case Launcher::CodexNative:
        return Setup::launchCodexDesktop(DesktopLaunchMode::native, std::move(done), run);
    case Launcher::OpenCode:
        return Setup::launchOpenCodeDesktop(std::move(done), run);
    }
}

bool writeFile(const QString &path, const QByteArray &contents, bool executable = false)
{
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        return false;
    file.close();
    return !executable ||
           file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Sets environment variables for one test and puts them back afterwards.
class ScopedEnvironment
{
public:
    void set(const char *name, const QByteArray &value, bool unset = false)
    {
        m_saved.append({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
        if (unset)
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnvironment()
    {
        for (auto it = m_saved.crbegin(); it != m_saved.crend(); ++it) {
            if (it->wasSet)
                qputenv(it->name, it->value);
            else
                qunsetenv(it->name);
        }
    }

private:
    struct Saved
    {
        const char *name;
        bool wasSet;
        QByteArray value;
    };
    QList<Saved> m_saved;
};

} // namespace

Q_DECLARE_METATYPE(Launcher)

class TestDesktopLaunchers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void arguments_data();
    void arguments();
    void outcomePassesThrough_data();
    void outcomePassesThrough();
    void openCodeEntryFound_data();
    void openCodeEntryFound();
    void openCodeCommandsRunForReal();
    void openTerminal_data();
    void openTerminal();

private:
    QTemporaryDir m_noEntries; // data folders without an OpenCode entry
};

void TestDesktopLaunchers::arguments_data()
{
    QTest::addColumn<Launcher>("launcher");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("claude gateway")
        << Launcher::ClaudeGateway
        << QStringList{u"orv"_qs, u"claude"_qs, u"desktop"_qs, u"gateway"_qs};
    QTest::newRow("claude native")
        << Launcher::ClaudeNative
        << QStringList{u"orv"_qs, u"claude"_qs, u"desktop"_qs, u"native"_qs};
    QTest::newRow("codex gateway")
        << Launcher::CodexGateway
        << QStringList{u"orv"_qs, u"codex"_qs, u"desktop"_qs, u"gateway"_qs};
    QTest::newRow("codex native") << Launcher::CodexNative
                                  << QStringList{u"orv"_qs, u"codex"_qs, u"desktop"_qs,
                                                 u"native"_qs};
    QTest::newRow("opencode, not installed")
        << Launcher::OpenCode
        << QStringList{u"sh"_qs, u"-c"_qs, u"echo 'OpenCode is not installed.'; exit 1"_qs};
}

void TestDesktopLaunchers::arguments()
{
    QFETCH(Launcher, launcher);
    QFETCH(QStringList, expected);
    ScopedEnvironment environment;
    environment.set("XDG_DATA_HOME", QFile::encodeName(m_noEntries.path()));
    environment.set("XDG_DATA_DIRS", QFile::encodeName(m_noEntries.path()));

    RecordingRunner recorder;
    int completions = 0;
    launch(
        launcher, [&completions](SetupResult<void>) { ++completions; }, recorder.runner());
    QCOMPARE(recorder.calls, QList<QStringList>{expected});
    QTRY_COMPARE(completions, 1);
}

void TestDesktopLaunchers::outcomePassesThrough_data()
{
    QTest::addColumn<Launcher>("launcher");
    QTest::addColumn<SetupResult<QString>>("answer");

    const SetupResult<QString> printed(u"Claude Desktop started in gateway mode"_qs);
    const SetupResult<QString> toolFailed(
        std::unexpected(SetupError::exitedWithStatus(127, u"zsh:1: command not found: orv"_qs)));
    const SetupResult<QString> shellMissing(std::unexpected(
        PlatformError{u"launch"_qs, u"/bin/zsh"_qs, u"No such file or directory"_qs}));
    for (auto [name, launcher] :
         {std::pair("claude", Launcher::ClaudeGateway), std::pair("codex", Launcher::CodexNative),
          std::pair("opencode", Launcher::OpenCode)}) {
        QTest::addRow("%s succeeds, output dropped", name) << launcher << printed;
        QTest::addRow("%s command fails", name) << launcher << toolFailed;
        QTest::addRow("%s shell cannot start", name) << launcher << shellMissing;
    }
}

void TestDesktopLaunchers::outcomePassesThrough()
{
    QFETCH(Launcher, launcher);
    QFETCH(SetupResult<QString>, answer);

    RecordingRunner recorder;
    recorder.answer = answer;
    QList<SetupResult<void>> results;
    launch(
        launcher, [&results](SetupResult<void> result) { results.append(result); },
        recorder.runner());
    QVERIFY(results.isEmpty()); // never before the starting call returns
    QTRY_COMPARE(results.size(), 1);
    QTest::qWait(20);
    QCOMPARE(results.size(), 1);
    if (answer)
        QVERIFY(results.front().has_value());
    else
        QCOMPARE(results.front(), SetupResult<void>(std::unexpected(answer.error())));
}

void TestDesktopLaunchers::openCodeEntryFound_data()
{
    QTest::addColumn<QString>("entryFolder"); // relative to the fixture root
    QTest::addColumn<QByteArray>("dataHome");
    QTest::addColumn<QByteArray>("dataDirs"); // ":"-separated, relative to the fixture root

    QTest::newRow("in the user's data folder")
        << u"home/applications"_qs << QByteArray("home") << QByteArray("a:b");
    QTest::newRow("in a system data folder")
        << u"b/applications"_qs << QByteArray("home") << QByteArray("a:b");
    QTest::newRow("user's default data folder")
        << u"fakehome/.local/share/applications"_qs << QByteArray() << QByteArray("a");
}

void TestDesktopLaunchers::openCodeEntryFound()
{
    QFETCH(QString, entryFolder);
    QFETCH(QByteArray, dataHome);
    QFETCH(QByteArray, dataDirs);

    QTemporaryDir root;
    const QString entry = root.filePath(entryFolder + u"/ai.opencode.desktop"_qs);
    QVERIFY(writeFile(entry, "[Desktop Entry]\nType=Application\nName=OpenCode\nExec=true\n"));
    const QByteArray rootPath = QFile::encodeName(root.path()) + '/';
    QByteArray absoluteDirs;
    for (const QByteArray &dir : dataDirs.split(':'))
        absoluteDirs += (absoluteDirs.isEmpty() ? "" : ":") + rootPath + dir;

    ScopedEnvironment environment;
    environment.set("HOME", rootPath + "fakehome");
    environment.set("XDG_DATA_HOME", dataHome.isEmpty() ? QByteArray() : rootPath + dataHome,
                    dataHome.isEmpty());
    environment.set("XDG_DATA_DIRS", absoluteDirs);

    RecordingRunner recorder;
    bool done = false;
    Setup::launchOpenCodeDesktop([&done](SetupResult<void>) { done = true; }, recorder.runner());
    const QStringList expected{u"gio"_qs, u"launch"_qs, entry};
    QCOMPARE(recorder.calls, QList<QStringList>{expected});
    QTRY_VERIFY(done);
}

void TestDesktopLaunchers::openCodeCommandsRunForReal()
{
    // Without an entry: a clear line and a failing status.
    const QStringList missing = Setup::openCodeLaunchCommand(std::nullopt);
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(missing.front(), missing.mid(1));
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(process.readAll().trimmed(), QByteArray("OpenCode is not installed."));

    // With an entry: gio starts what the entry's Exec line names.
    if (QStandardPaths::findExecutable(u"gio"_qs).isEmpty())
        QSKIP("gio is not installed");
    QTemporaryDir folder;
    const QString marker = folder.filePath(u"started"_qs);
    const QString program = folder.filePath(u"opencode-app"_qs);
    QVERIFY(writeFile(program,
                      "#!/bin/sh\necho \"$@\" > '" + QFile::encodeName(marker) + ".tmp'\nmv '" +
                          QFile::encodeName(marker) + ".tmp' '" + QFile::encodeName(marker) + "'\n",
                      true));
    const QString entry = folder.filePath(u"opencode.desktop"_qs);
    QVERIFY(writeFile(entry, "[Desktop Entry]\nType=Application\nName=OpenCode\nExec=" +
                                 QFile::encodeName(program) + " --from-entry\n"));
    const QStringList found = Setup::openCodeLaunchCommand(entry);
    process.start(found.front(), found.mid(1));
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 0);
    QTRY_VERIFY(QFile::exists(marker));
    QFile started(marker);
    QVERIFY(started.open(QIODevice::ReadOnly));
    QCOMPARE(started.readAll().trimmed(), QByteArray("--from-entry"));
}

void TestDesktopLaunchers::openTerminal_data()
{
    QTest::addColumn<QStringList>("installed"); // programs in the fixture PATH; "!" = won't start
    QTest::addColumn<QByteArray>("terminal");   // $TERMINAL; "-" = unset, "@" = fixture folder
    QTest::addColumn<QString>("expected");      // program started; empty: failure
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");

    const QStringList none;
    QTest::newRow("TERMINAL first") << QStringList{u"mine"_qs, u"xdg-terminal-exec"_qs}
                                    << QByteArray("mine") << u"mine"_qs << none << 0;
    QTest::newRow("TERMINAL as a path")
        << QStringList{u"mine"_qs, u"xterm"_qs} << QByteArray("@/mine") << u"mine"_qs << none << 0;
    QTest::newRow("TERMINAL with options")
        << QStringList{u"mine"_qs, u"xterm"_qs} << QByteArray("mine --single-instance")
        << u"mine"_qs << QStringList{u"--single-instance"_qs} << 0;
    QTest::newRow("TERMINAL not installed")
        << QStringList{u"kitty"_qs} << QByteArray("mine") << u"kitty"_qs << none << 0;
    QTest::newRow("xdg-terminal-exec before the others")
        << QStringList{u"xterm"_qs, u"x-terminal-emulator"_qs, u"xdg-terminal-exec"_qs}
        << QByteArray("-") << u"xdg-terminal-exec"_qs << none << 0;
    QTest::newRow("x-terminal-emulator before emulators")
        << QStringList{u"gnome-terminal"_qs, u"x-terminal-emulator"_qs} << QByteArray("")
        << u"x-terminal-emulator"_qs << none << 0;
    QTest::newRow("gnome-terminal before konsole")
        << QStringList{u"konsole"_qs, u"gnome-terminal"_qs} << QByteArray("-")
        << u"gnome-terminal"_qs << none << 0;
    QTest::newRow("foot before xterm")
        << QStringList{u"xterm"_qs, u"foot"_qs} << QByteArray("-") << u"foot"_qs << none << 0;
    QTest::newRow("only xterm") << QStringList{u"xterm"_qs} << QByteArray("-") << u"xterm"_qs
                                << none << 0;
    QTest::newRow("one that will not start is passed over")
        << QStringList{u"!konsole"_qs, u"wezterm"_qs} << QByteArray("-") << u"wezterm"_qs << none
        << 0;
    QTest::newRow("none installed") << none << QByteArray("-") << QString() << none << 127;
    QTest::newRow("none installed, TERMINAL missing")
        << none << QByteArray("mine") << QString() << none << 127;
    QTest::newRow("none would start")
        << QStringList{u"!alacritty"_qs} << QByteArray("-") << QString() << none << 126;
}

void TestDesktopLaunchers::openTerminal()
{
    QFETCH(QStringList, installed);
    QFETCH(QByteArray, terminal);
    QFETCH(QString, expected);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);

    QTemporaryDir root;
    const QString bin = root.filePath(u"bin"_qs);
    const QString records = root.filePath(u"records"_qs);
    const QString home = root.filePath(u"home with space"_qs);
    QVERIFY(QDir().mkpath(records) && QDir().mkpath(home));
    for (QString name : std::as_const(installed)) {
        const bool broken = name.startsWith(u'!');
        if (broken)
            name.remove(0, 1);
        // Records where it was started and with what, then ends, as a terminal would not.
        const QByteArray script =
            broken ? QByteArray("#!/nonexistent/interpreter\n")
                   : "#!/bin/sh\n{ pwd; printf '%s\\n' \"$@\"; } > '" + QFile::encodeName(records) +
                         "/" + QFile::encodeName(name) + ".tmp'\n/bin/mv '" +
                         QFile::encodeName(records) + "/" + QFile::encodeName(name) + ".tmp' '" +
                         QFile::encodeName(records) + "/" + QFile::encodeName(name) + "'\n";
        QVERIFY(writeFile(bin + u'/' + name, script, true));
    }

    ScopedEnvironment environment;
    environment.set("PATH", QFile::encodeName(bin));
    environment.set("HOME", QFile::encodeName(home));
    environment.set("TERMINAL", QByteArray(terminal).replace('@', QFile::encodeName(bin)),
                    terminal == "-");

    const SetupResult<void> result = Setup::openTerminal();
    if (expected.isEmpty()) {
        QCOMPARE(result, SetupResult<void>(std::unexpected(SetupError::exitedWithStatus(
                             status, u"Terminal couldn't be opened."_qs))));
        return;
    }
    QVERIFY(result.has_value());
    const QString record = records + u'/' + expected;
    QTRY_VERIFY(QFile::exists(record));
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0), QDir(home).canonicalPath());
    QCOMPARE(lines.mid(1), arguments);
    // Only the first that started was started.
    QCOMPARE(QDir(records).entryList(QDir::Files).size(), 1);
}

QTEST_GUILESS_MAIN(TestDesktopLaunchers)
#include "tst_desktoplaunchers.moc"

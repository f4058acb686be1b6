#include "setup/DesktopLaunchers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

Q_DECLARE_METATYPE(SetupResult<QString>)

static bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(contents) == contents.size() &&
           file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

static QString contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

// A fixture home (with a space in its path) whose bash profile puts a recording `orv` first in
// PATH; OpenCode's desktop entry, when a row installs it, starts that `orv` too.
class TestDesktopLaunchers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void launch_data();
    void launch();
    void openTerminal_data();
    void openTerminal();

private:
    QTemporaryDir m_home{QDir::tempPath() + u"/orvane launchers-XXXXXX"_qs};
    QString m_record = m_home.filePath(u"orv-arguments"_qs);
    QString m_entry = m_home.filePath(u"data/applications/ai.opencode.desktop"_qs);
};

void TestDesktopLaunchers::initTestCase()
{
    // Fails, as the tool does, when asked for a desktop application it cannot start.
    QVERIFY(writeFile(m_home.filePath(u"bin/orv"_qs),
                      "#!/bin/sh\nIFS='|'; echo \"orv|$*\" > '" + QFile::encodeName(m_record) +
                          "'\n[ \"$1\" = codex ] && { echo 'Codex Desktop is not installed'; "
                          "exit 3; }\nexit 0\n"));
    QVERIFY(writeFile(m_home.filePath(u".bash_profile"_qs),
                      "export PATH='" + QFile::encodeName(m_home.filePath(u"bin"_qs)) +
                          "':\"$PATH\"\n"));
    qputenv("HOME", QFile::encodeName(m_home.path()));
    qputenv("SHELL", "/bin/bash");
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(u"data"_qs)));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(m_home.filePath(u"none"_qs)));
}

void TestDesktopLaunchers::launch_data()
{
    QTest::addColumn<QString>("which");  // "claude <mode>", "codex <mode>", "opencode [installed]"
    QTest::addColumn<bool>("realShell"); // else a runner that answers with `outcome`
    QTest::addColumn<SetupResult<QString>>("outcome"); // from a real shell: its last line
    QTest::addColumn<QString>("ran"); // "|"-separated: what the runner was given or orv recorded
    const SetupResult<QString> ok(u"Claude Desktop started"_qs);
    const auto failed = [](int status, const QString &output) {
        return SetupResult<QString>(std::unexpected(SetupError::exitedWithStatus(status, output)));
    };
    const SetupResult<QString> noShell(std::unexpected(
        PlatformError{u"launch"_qs, u"/bin/zsh"_qs, u"No such file or directory"_qs}));
    const QString notInstalled = u"OpenCode is not installed."_qs;
    // clang-format off
    QTest::newRow("claude gateway") << u"claude gateway"_qs << false << ok << u"orv|claude|desktop|gateway"_qs;
    QTest::newRow("claude native fails") << u"claude native"_qs << false << failed(127, u"zsh:1: command not found: orv"_qs) << u"orv|claude|desktop|native"_qs;
    QTest::newRow("codex gateway, no shell") << u"codex gateway"_qs << false << noShell << u"orv|codex|desktop|gateway"_qs;
    QTest::newRow("codex native") << u"codex native"_qs << false << ok << u"orv|codex|desktop|native"_qs;
    QTest::newRow("opencode by its entry") << u"opencode installed"_qs << false << failed(4, u"x"_qs) << u"gio|launch|"_qs + m_entry;
    QTest::newRow("opencode not installed") << u"opencode"_qs << false << ok << u"sh|-c|echo '"_qs + notInstalled + u"'; exit 1"_qs;
    QTest::newRow("real shell: claude native") << u"claude native"_qs << true << ok << u"orv|claude|desktop|native"_qs;
    QTest::newRow("real shell: codex fails") << u"codex gateway"_qs << true << failed(3, u"Codex Desktop is not installed"_qs) << u"orv|codex|desktop|gateway"_qs;
    QTest::newRow("real shell: opencode not installed") << u"opencode"_qs << true << failed(1, notInstalled) << QString();
    QTest::newRow("real shell: opencode opened by gio") << u"opencode installed"_qs << true << ok << u"orv|entry"_qs;
    // clang-format on
}

void TestDesktopLaunchers::launch()
{
    QFETCH(QString, which);
    QFETCH(bool, realShell);
    QFETCH(SetupResult<QString>, outcome);
    QFETCH(QString, ran);
    QFile::remove(m_record);
    QFile::remove(m_entry);
    if (which.endsWith(u"installed"))
        QVERIFY(writeFile(m_entry, "[Desktop Entry]\nType=Application\nName=OpenCode\nExec=\"" +
                                       QFile::encodeName(m_home.filePath(u"bin/orv"_qs)) +
                                       "\" entry\n"));
    QString calls;
    const Setup::LoginShellRunner fake = [&calls, outcome](const QStringList &arguments,
                                                           Completion<QString> done) {
        calls += arguments.join(u'|');
        QTimer::singleShot(0, [outcome, done = std::move(done)] { done(outcome); });
    };
    QList<SetupResult<void>> results;
    Completion<void> done = [&results](SetupResult<void> result) { results.append(result); };
    const auto run = realShell ? Setup::loginShellRunner() : fake;
    const QString mode = which.section(u' ', 1);
    QVERIFY(!desktopLaunchModeFromString(mode.toUpper())); // only the exact raw values
    if (which.startsWith(u"claude"))
        Setup::launchClaudeDesktop(desktopLaunchModeFromString(mode).value(), std::move(done), run);
    else if (which.startsWith(u"codex"))
        Setup::launchCodexDesktop(desktopLaunchModeFromString(mode).value(), std::move(done), run);
    else
        Setup::launchOpenCodeDesktop(std::move(done), run);
    QVERIFY(results.isEmpty()); // never before the starting call returns
    QTRY_VERIFY_WITH_TIMEOUT(!results.isEmpty(), 60000);
    QTest::qWait(20);
    QCOMPARE(results.size(), 1);
    QTRY_COMPARE(realShell ? contents(m_record) : calls,
                 ran); // gio returns before its program ends
    SetupResult<void> result = results.front();
    if (auto *error = result ? nullptr : std::get_if<SetupError>(&result.error());
        error && realShell)
        error->output = error->output.split(u'\n').last().trimmed(); // after a shell's complaints
    QCOMPARE(result,
             outcome ? SetupResult<void>() : SetupResult<void>(std::unexpected(outcome.error())));
}

void TestDesktopLaunchers::openTerminal_data()
{
    QTest::addColumn<QString>("installed");   // fake terminals in PATH; "!": one that won't start
    QTest::addColumn<QByteArray>("terminal"); // $TERMINAL; "-": unset, "@": the PATH folder
    QTest::addColumn<QString>("started");     // the program started and its arguments, or the
                                              // failure's status
    // clang-format off
    const auto row = [](const char *name, const char *installed, const char *terminal, const char *started) { QTest::newRow(name) << QString::fromLatin1(installed) << QByteArray(terminal) << QString::fromLatin1(started); };
    row("TERMINAL first", "mine xdg-terminal-exec", "mine", "mine");
    row("TERMINAL as a path", "mine xterm", "@/mine", "mine");
    row("TERMINAL with options", "mine xterm", "mine --single-instance", "mine --single-instance");
    row("TERMINAL not installed", "kitty", "mine", "kitty");
    row("xdg-terminal-exec before the others", "xterm x-terminal-emulator xdg-terminal-exec", "-", "xdg-terminal-exec");
    row("x-terminal-emulator before emulators", "gnome-terminal x-terminal-emulator", "", "x-terminal-emulator");
    row("gnome-terminal before konsole", "konsole gnome-terminal", "-", "gnome-terminal");
    row("foot before xterm", "xterm foot", "-", "foot");
    row("one that will not start is passed over", "!konsole wezterm", "-", "wezterm");
    row("none installed", "", "mine", "127");
    row("none would start", "!alacritty", "-", "126");
    // clang-format on
}

void TestDesktopLaunchers::openTerminal()
{
    QFETCH(QString, installed);
    QFETCH(QByteArray, terminal);
    QFETCH(QString, started);
    const QString bin = m_home.filePath(u"terminals"_qs);
    QVERIFY(QDir(bin).removeRecursively());
    for (const QString &name : installed.split(u' ', Qt::SkipEmptyParts)) {
        // Records where it was started and with what, then ends, as a terminal would not.
        QVERIFY(writeFile(bin + u'/' + QString(name).remove(u'!'),
                          name.startsWith(u'!')
                              ? "#!/nonexistent/interpreter\n"
                              : "#!/bin/sh\n{ pwd; printf '%s\\n' \"$@\"; } > "
                                "\"$0.tmp\"; /bin/mv \"$0.tmp\" \"$0.started\"\n"));
    }
    qputenv("PATH", QFile::encodeName(bin)); // the last test: nothing after it needs PATH
    qputenv("TERMINAL", terminal.replace('@', QFile::encodeName(bin)));
    if (terminal == "-")
        qunsetenv("TERMINAL");
    const SetupResult<void> result = Setup::openTerminal();
    bool failed = false;
    if (const int status = started.toInt(&failed); failed) {
        QCOMPARE(result, SetupResult<void>(std::unexpected(SetupError::exitedWithStatus(
                             status, u"Terminal couldn't be opened."_qs))));
        return;
    }
    QVERIFY(result.has_value());
    const QString record = bin + u'/' + started.section(u' ', 0, 0) + u".started"_qs;
    QTRY_VERIFY(QFile::exists(record)); // in the home directory, with the options of $TERMINAL
    QCOMPARE(contents(record).split(u'\n'),
             QStringList{QDir(m_home.path()).canonicalPath()} + started.split(u' ').mid(1));
    QCOMPARE(QDir(bin).entryList({u"*.started"_qs}).size(), 1); // only the first was started
}

QTEST_GUILESS_MAIN(TestDesktopLaunchers)
#include "tst_desktoplaunchers.moc"

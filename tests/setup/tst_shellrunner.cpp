#include "AwaitCompletion.h"
#include "FixtureHome.h"

#include "setup/OutputCollector.h"
#include "setup/ShellRunner.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <pwd.h>
#include <unistd.h>

using Shell = FixtureHome::Shell;

Q_DECLARE_METATYPE(FixtureHome::Shell)

namespace {

enum class Runner
{
    LoginShell,
    Pty
};

// Runs `arguments` through either runner; the pseudo-terminal runner gives no output on
// success, so both are reduced to "output or error".
Awaited<QString> run(Runner runner, const QStringList &arguments)
{
    if (runner == Runner::LoginShell)
        return awaitCompletion<QString>(
            [&](Completion<QString> done) { Setup::runInLoginShell(arguments, std::move(done)); });
    const Awaited<void> awaited = awaitCompletion<void>(
        [&](Completion<void> done) { Setup::runViaPty(arguments, std::move(done)); });
    Awaited<QString> converted;
    converted.calls = awaited.calls;
    converted.calledDuringStart = awaited.calledDuringStart;
    converted.onStartingThread = awaited.onStartingThread;
    if (awaited.result)
        converted.result = awaited.result->has_value()
                               ? SetupResult<QString>(QString())
                               : SetupResult<QString>(std::unexpected(awaited.result->error()));
    return converted;
}

void addShellAndRunnerRows()
{
    QTest::addColumn<Shell>("shell");
    QTest::addColumn<Runner>("runner");
    QTest::newRow("bash, login shell") << Shell::Bash << Runner::LoginShell;
    QTest::newRow("bash, pseudo-terminal") << Shell::Bash << Runner::Pty;
    QTest::newRow("zsh, login shell") << Shell::Zsh << Runner::LoginShell;
    QTest::newRow("zsh, pseudo-terminal") << Shell::Zsh << Runner::Pty;
}

QString passwordDatabaseShell()
{
    const passwd *entry = ::getpwuid(::getuid());
    return entry && entry->pw_shell && entry->pw_shell[0] ? QString::fromLocal8Bit(entry->pw_shell)
                                                          : QStringLiteral("/bin/sh");
}

} // namespace

Q_DECLARE_METATYPE(Runner)

#define SKIP_WITHOUT_SHELL(shell)                                                                  \
    if (FixtureHome::shellProgram(shell).isEmpty())                                                \
        QSKIP("zsh is not installed; the zsh rows need a real zsh");

class TestShellRunner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void quoting_data();
    void quoting();
    void cleaning_data();
    void cleaning();
    void userShell_data();
    void userShell();
    void argumentsArriveIntact_data();
    void argumentsArriveIntact();
    void exitStatusAndOutput_data();
    void exitStatusAndOutput();
    void silentFailureHasEmptyOutput_data();
    void silentFailureHasEmptyOutput();
    void terminalAndInput_data();
    void terminalAndInput();
    void environmentUnchanged_data();
    void environmentUnchanged();
    void keepsRunningWithNullInput_data();
    void keepsRunningWithNullInput();
    void scriptMissing();
    void launchFailures();
    void completesOnStartingThread();
};

void TestShellRunner::cleanup()
{
    Setup::setScriptProgram(QStringLiteral("/usr/bin/script"));
}

void TestShellRunner::quoting_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");
    QTest::newRow("apostrophe") << QStringList{QStringLiteral("npx"), QStringLiteral("--yes"),
                                               QStringLiteral("it's")}
                                << QStringLiteral("'npx' '--yes' 'it'\\''s'");
    QTest::newRow("plain words quoted too")
        << QStringList{QStringLiteral("orv")} << QStringLiteral("'orv'");
    QTest::newRow("empty argument") << QStringList{QString()} << QStringLiteral("''");
    QTest::newRow("only quotes") << QStringList{QStringLiteral("''")}
                                 << QStringLiteral("''\\'''\\'''");
}

void TestShellRunner::quoting()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    QCOMPARE(Setup::commandString(arguments), expected);
}

void TestShellRunner::cleaning_data()
{
    const QByteArray esc("\x1b");
    const QByteArray bel("\x07");
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QString>("expected");
    QTest::newRow("colour codes") << QByteArrayList{esc + "[1;32mInstalled!" + esc + "[0m\n"}
                                  << QStringLiteral("Installed!");
    QTest::newRow("window title") << QByteArrayList{esc + "]0;title" + bel + "done"}
                                  << QStringLiteral("done");
    QTest::newRow("lone escape stays")
        << QByteArrayList{"a" + esc + "(Bb"} << QString(u"a\x1b(Bb"_qs);
    QTest::newRow("cursor codes") << QByteArrayList{esc + "[2K" + esc + "[1Gstep" + esc + "[H"}
                                  << QStringLiteral("step");
    QTest::newRow("only white space") << QByteArrayList{" \t\r\n", "\r\n  "} << QString();
    QTest::newRow("unicode white space trimmed")
        << QByteArrayList{"\xe2\x80\x83\xc2\xa0ok\xe3\x80\x80"} << QStringLiteral("ok");
    QTest::newRow("inner carriage returns kept")
        << QByteArrayList{"one\r\ntwo\r\n"} << QStringLiteral("one\r\ntwo");
    QTest::newRow("invalid UTF-8 replaced") << QByteArrayList{"a\xff"
                                                              "b"}
                                            << QStringLiteral("a\uFFFDb");
    QTest::newRow("character split across reads")
        << QByteArrayList{"caf\xc3", "\xa9"} << QStringLiteral("caf\u00e9");
    QTest::newRow("sequence split across reads")
        << QByteArrayList{esc + "[1;", "31mred" + esc, "[0m"} << QStringLiteral("red");
}

void TestShellRunner::cleaning()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(QString, expected);
    Setup::OutputCollector collector;
    for (const QByteArray &chunk : chunks)
        collector.append(chunk);
    QCOMPARE(collector.text(), expected);
}

void TestShellRunner::userShell_data()
{
    QTest::addColumn<std::optional<QByteArray>>("shell");
    QTest::addColumn<QString>("expected");
    QTest::newRow("set") << std::optional<QByteArray>("/usr/bin/fish")
                         << QStringLiteral("/usr/bin/fish");
    QTest::newRow("unset") << std::optional<QByteArray>() << passwordDatabaseShell();
    QTest::newRow("empty") << std::optional<QByteArray>("") << passwordDatabaseShell();
}

void TestShellRunner::userShell()
{
    QFETCH(std::optional<QByteArray>, shell);
    QFETCH(QString, expected);
    const bool wasSet = qEnvironmentVariableIsSet("SHELL");
    const QByteArray saved = qgetenv("SHELL");
    if (shell)
        qputenv("SHELL", *shell);
    else
        qunsetenv("SHELL");
    const QString actual = Setup::userShell();
    if (wasSet)
        qputenv("SHELL", saved);
    else
        qunsetenv("SHELL");
    QCOMPARE(actual, expected);
}

void TestShellRunner::argumentsArriveIntact_data()
{
    addShellAndRunnerRows();
}

void TestShellRunner::argumentsArriveIntact()
{
    QFETCH(Shell, shell);
    QFETCH(Runner, runner);
    SKIP_WITHOUT_SHELL(shell);
    FixtureHome home(shell);
    QVERIFY(home.isValid());
    home.activate();
    home.writeProgram(QStringLiteral("argdump"),
                      FixtureHome::recordArguments(QStringLiteral("argdump")));

    const QStringList arguments{QStringLiteral("it's"),
                                QStringLiteral("two words"),
                                QStringLiteral("$HOME and ${PATH}"),
                                QStringLiteral("*"),
                                QStringLiteral("line one\nline two"),
                                QString(),
                                QStringLiteral("\"double\" `date` $(id) \\n"),
                                QStringLiteral("!! !$ ~ ; | & > <"),
                                QStringLiteral("na\u00efve \u2713")};
    const Awaited<QString> awaited =
        run(runner, QStringList{QStringLiteral("argdump")} + arguments);
    QVERIFY(awaited.deliveredProperly());
    QVERIFY2(awaited.result->has_value(),
             qPrintable(setupErrorOf(awaited.result).value_or(SetupError{}).output));
    QCOMPARE(home.recordedArguments(QStringLiteral("argdump")), arguments);
}

void TestShellRunner::exitStatusAndOutput_data()
{
    addShellAndRunnerRows();
}

void TestShellRunner::exitStatusAndOutput()
{
    QFETCH(Shell, shell);
    QFETCH(Runner, runner);
    SKIP_WITHOUT_SHELL(shell);
    FixtureHome home(shell);
    QVERIFY(home.isValid());
    home.activate();
    home.writeProgram(QStringLiteral("failing"),
                      R"(printf '\033[31mBroken\033[0m step\rredrawn\nlast line\n' >&2; exit 3)");
    home.writeProgram(QStringLiteral("succeeding"), R"(printf '\033[1;32mInstalled!\033[0m\n')");

    const Awaited<QString> failed = run(runner, {QStringLiteral("failing")});
    QVERIFY(failed.deliveredProperly());
    const std::optional<SetupError> error = setupErrorOf(failed.result);
    QVERIFY(error);
    QCOMPARE(error->kind, SetupError::Kind::ExitedWithStatus);
    QCOMPARE(error->status, 3);
    // The start-up files' greeting comes first; on a pseudo-terminal lines end in CR LF.
    const QString newline = runner == Runner::Pty ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QVERIFY2(error->output.startsWith(FixtureHome::greeting() + newline) ||
                 error->output.contains(newline + FixtureHome::greeting() + newline),
             qPrintable(error->output));
    QVERIFY2(error->output.endsWith(QStringLiteral("Broken step\rredrawn") + newline +
                                    QStringLiteral("last line")),
             qPrintable(error->output));

    const Awaited<QString> succeeded = run(runner, {QStringLiteral("succeeding")});
    QVERIFY(succeeded.deliveredProperly());
    QVERIFY(succeeded.result->has_value());
    if (runner == Runner::LoginShell)
        QVERIFY2(succeeded.result->value().endsWith(FixtureHome::greeting() +
                                                    QStringLiteral("\nInstalled!")),
                 qPrintable(succeeded.result->value()));
}

void TestShellRunner::silentFailureHasEmptyOutput_data()
{
    QTest::addColumn<Shell>("shell");
    QTest::addColumn<Runner>("runner");
    // bash without a terminal warns about job control, so its login-shell runs are never silent.
    QTest::newRow("zsh, login shell") << Shell::Zsh << Runner::LoginShell;
    QTest::newRow("zsh, pseudo-terminal") << Shell::Zsh << Runner::Pty;
    QTest::newRow("bash, pseudo-terminal") << Shell::Bash << Runner::Pty;
}

void TestShellRunner::silentFailureHasEmptyOutput()
{
    QFETCH(Shell, shell);
    QFETCH(Runner, runner);
    SKIP_WITHOUT_SHELL(shell);
    FixtureHome home(shell, true, FixtureHome::Startup::Quiet);
    QVERIFY(home.isValid());
    home.activate();
    home.writeProgram(QStringLiteral("silent"), "exit 9");
    const Awaited<QString> awaited = run(runner, {QStringLiteral("silent")});
    QVERIFY(awaited.deliveredProperly());
    QCOMPARE(setupErrorOf(awaited.result), SetupError::exitedWithStatus(9, QString()));
}

void TestShellRunner::terminalAndInput_data()
{
    addShellAndRunnerRows();
}

void TestShellRunner::terminalAndInput()
{
    QFETCH(Shell, shell);
    QFETCH(Runner, runner);
    SKIP_WITHOUT_SHELL(shell);
    FixtureHome home(shell);
    QVERIFY(home.isValid());
    home.activate();
    home.writeProgram(
        QStringLiteral("stdio-probe"),
        R"(if [ -t 2 ]; then echo terminal; else echo pipe; fi > "$HOME/stdio-probe.out"
readlink /proc/self/fd/0 >> "$HOME/stdio-probe.out")");
    const Awaited<QString> awaited = run(runner, {QStringLiteral("stdio-probe")});
    QVERIFY(awaited.deliveredProperly());
    QVERIFY2(awaited.result->has_value(),
             qPrintable(setupErrorOf(awaited.result).value_or(SetupError{}).output));
    const QList<QByteArray> lines =
        home.readFile(QStringLiteral("stdio-probe.out")).trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    if (runner == Runner::Pty) {
        QCOMPARE(lines.at(0), QByteArray("terminal"));
        QVERIFY2(lines.at(1).startsWith("/dev/pts/"), lines.at(1).constData());
    } else {
        QCOMPARE(lines.at(0), QByteArray("pipe"));
        QCOMPARE(lines.at(1), QByteArray("/dev/null"));
    }
}

void TestShellRunner::environmentUnchanged_data()
{
    QTest::addColumn<Shell>("shell");
    QTest::addColumn<Runner>("runner");
    QTest::addColumn<bool>("shellSet");
    QTest::newRow("bash, pseudo-terminal") << Shell::Bash << Runner::Pty << true;
    QTest::newRow("zsh, pseudo-terminal") << Shell::Zsh << Runner::Pty << true;
    QTest::newRow("zsh, login shell") << Shell::Zsh << Runner::LoginShell << true;
    QTest::newRow("SHELL unset, pseudo-terminal") << Shell::Bash << Runner::Pty << false;
    QTest::newRow("SHELL unset, login shell") << Shell::Bash << Runner::LoginShell << false;
}

void TestShellRunner::environmentUnchanged()
{
    QFETCH(Shell, shell);
    QFETCH(Runner, runner);
    QFETCH(bool, shellSet);
    SKIP_WITHOUT_SHELL(shell);
    FixtureHome home(shell);
    QVERIFY(home.isValid());
    home.activate();
    if (!shellSet) {
        const QString loginShell = passwordDatabaseShell();
        if (loginShell.endsWith(QLatin1String("/nologin")) ||
            loginShell.endsWith(QLatin1String("/false")))
            QSKIP("this account has no login shell in the password database");
        qunsetenv("SHELL");
    }
    qputenv("ORV_TEST_MARKER", "a 'b' $c");
    home.writeProgram(QStringLiteral("envdump"),
                      R"(printf '%s|%s' "${SHELL-<unset>}" "$ORV_TEST_MARKER" > "$HOME/env.out")");
    const Awaited<QString> awaited = run(runner, {QStringLiteral("envdump")});
    qunsetenv("ORV_TEST_MARKER");
    QVERIFY(awaited.deliveredProperly());
    QVERIFY(awaited.result->has_value());
    const QByteArray expectedShell =
        shellSet ? QFile::encodeName(FixtureHome::shellProgram(shell)) : QByteArray("<unset>");
    QCOMPARE(home.readFile(QStringLiteral("env.out")), expectedShell + "|a 'b' $c");
}

void TestShellRunner::keepsRunningWithNullInput_data()
{
    QTest::addColumn<Shell>("shell");
    QTest::newRow("bash") << Shell::Bash;
    QTest::newRow("zsh") << Shell::Zsh;
}

void TestShellRunner::keepsRunningWithNullInput()
{
    QFETCH(Shell, shell);
    SKIP_WITHOUT_SHELL(shell);
    FixtureHome home(shell);
    QVERIFY(home.isValid());
    home.activate();
    home.writeProgram(QStringLiteral("slow"), R"(sleep 3; echo finished > "$HOME/slow.out")");

    // The caller's event loop keeps running meanwhile.
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start(100);
    QElapsedTimer elapsed;
    elapsed.start();
    const Awaited<QString> awaited = run(Runner::Pty, {QStringLiteral("slow")});
    QVERIFY(awaited.deliveredProperly());
    QVERIFY(awaited.result->has_value());
    QVERIFY(elapsed.elapsed() >= 3000);
    QCOMPARE(home.readFile(QStringLiteral("slow.out")), QByteArray("finished\n"));
    QVERIFY2(ticks >= 15, qPrintable(QString::number(ticks)));
}

void TestShellRunner::scriptMissing()
{
    FixtureHome home(Shell::Bash);
    QVERIFY(home.isValid());
    home.activate();
    home.writeProgram(QStringLiteral("argdump"),
                      FixtureHome::recordArguments(QStringLiteral("argdump")));
    Setup::setScriptProgram(home.filePath(QStringLiteral("no-such-script")));
    const Awaited<void> awaited = awaitCompletion<void>([](Completion<void> done) {
        Setup::runViaPty({QStringLiteral("argdump")}, std::move(done));
    });
    QVERIFY(awaited.deliveredProperly());
    QCOMPARE(setupErrorOf(awaited.result), SetupError::scriptMissing());
    QVERIFY(!home.recordedArguments(QStringLiteral("argdump")));
}

void TestShellRunner::launchFailures()
{
    FixtureHome home(Shell::Bash);
    QVERIFY(home.isValid());
    home.activate();

    qputenv("SHELL", QFile::encodeName(home.filePath(QStringLiteral("no-such-shell"))));
    const Awaited<QString> noShell = run(Runner::LoginShell, {QStringLiteral("true")});
    QVERIFY(noShell.deliveredProperly());
    QVERIFY(noShell.result && !noShell.result->has_value());
    const auto *launchError = std::get_if<PlatformError>(&noShell.result->error());
    QVERIFY(launchError);
    QCOMPARE(launchError->operation, QStringLiteral("launch"));
    QCOMPARE(launchError->path, home.filePath(QStringLiteral("no-such-shell")));

    // On a pseudo-terminal the shell is started by `script`'s own shell, which reports it.
    const Awaited<QString> noShellOnPty = run(Runner::Pty, {QStringLiteral("true")});
    QVERIFY(noShellOnPty.deliveredProperly());
    const std::optional<SetupError> ptyError = setupErrorOf(noShellOnPty.result);
    QVERIFY(ptyError);
    QCOMPARE(ptyError->status, 127);

    // A `script` that exists but cannot be run is a launch error, not a missing program.
    home.activate();
    home.writeFile(QStringLiteral("not-executable"), "#!/bin/sh\n");
    Setup::setScriptProgram(home.filePath(QStringLiteral("not-executable")));
    const Awaited<QString> badScript = run(Runner::Pty, {QStringLiteral("true")});
    QVERIFY(badScript.deliveredProperly());
    QVERIFY(badScript.result && !badScript.result->has_value());
    QVERIFY(std::holds_alternative<PlatformError>(badScript.result->error()));
}

void TestShellRunner::completesOnStartingThread()
{
    FixtureHome home(Shell::Bash);
    QVERIFY(home.isValid());
    home.activate();
    home.writeProgram(QStringLiteral("hello"), "echo from the worker");

    QThread worker;
    worker.start();
    QObject context;
    context.moveToThread(&worker);
    std::atomic<QThread *> completedOn = nullptr;
    std::atomic<int> calls = 0;
    QString output;
    QMetaObject::invokeMethod(&context, [&] {
        Setup::runInLoginShell({QStringLiteral("hello")}, [&](SetupResult<QString> result) {
            output = result.value_or(QString());
            completedOn = QThread::currentThread();
            ++calls;
        });
    });
    QTRY_COMPARE_WITH_TIMEOUT(calls.load(), 1, 60000);
    worker.quit();
    worker.wait();
    QCOMPARE(completedOn.load(), &worker);
    QVERIFY(output.endsWith(QStringLiteral("from the worker")));
    QCOMPARE(calls.load(), 1);
}

QTEST_GUILESS_MAIN(TestShellRunner)
#include "tst_shellrunner.moc"

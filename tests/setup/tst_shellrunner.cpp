#include "AwaitCompletion.h"
#include "FixtureHome.h"

#include "setup/OutputCollector.h"
#include "setup/ShellRunner.h"

#include <QElapsedTimer>
#include <QTimer>

using namespace Qt::StringLiterals;

// Runs through either runner; the pseudo-terminal runner's success carries no output.
static Awaited<QString> run(bool pty, const QStringList &arguments,
                            const QString &script = QLatin1String(Setup::scriptProgram))
{
    return awaitCompletion<QString>([&](Setup::Completion<QString> done) {
        if (!pty)
            return Setup::runInLoginShell(arguments, std::move(done));
        const auto finished = [done](Setup::SetupResult<void> result) {
            done(result ? Setup::SetupResult<QString>() : std::unexpected(result.error()));
        };
        Setup::runViaPty(arguments, finished, QProcessEnvironment::systemEnvironment(), script);
    });
}

class TestShellRunner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void quotingAndCleaning()
    {
        QCOMPARE(Setup::commandString({u"npx"_s, u"--yes"_s, u"it's"_s, {}}),
                 u"'npx' '--yes' 'it'\\''s' ''"_s);
        // Output as read (chunks split at '|') and its cleaned text.
        const std::pair<const char *, const char *> rows[] = {
            {"\x1b[2K\x1b[1;32mInstalled!\x1b[0m\x1b[H\n", "Installed!"},
            {"\x1b]0;title\007a\x1b(Bb", "a\x1b(Bb"}, // window title removed, lone ESC kept
            {" \t\r\n|\r\n  ", ""},
            {"\xe2\x80\x83one\r\nt\xc3|\xa9\r\n", "one\r\nt\xc3\xa9"},
            // What interactive shells without a terminal say about job control goes; look-alikes stay.
            {"bash: cannot set terminal process group (-1): Inappropriate ioctl for device\r\n"
             "bash: no job control in this shell\n/bin/dash: 0: can't access tty; job control "
             "turned off\nzsh: can't set tty pgrp: No such process\nzsh: no job control in this shell.\n"
             "one\nno job control in this shell\nbash: no job control in this shell!",
             "one\nno job control in this shell\nbash: no job control in this shell!"}};
        for (const auto &[output, expected] : rows) {
            Setup::OutputCollector collector;
            for (const QByteArray &chunk : QByteArray(output).split('|'))
                collector.append(chunk);
            QCOMPARE(collector.text(), QString::fromUtf8(expected));
        }
    }

    void runsInLoginShell_data()
    {
        QTest::addColumn<QString>("shell");
        QTest::addColumn<bool>("pty");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("startup"); // put before the login start-up file
        // Each shell on each runner once, each runner with both outcomes and both start-ups.
        const QByteArray prints = "head -c 8388608 /dev/zero | tr '\\0' 'x'\n";
        const QByteArray reads = "read -r answer; echo \"read: $answer\"\n";
        QTest::newRow("bash, login shell, 0, prints 8 MiB") << u"bash"_s << false << 0 << prints;
        QTest::newRow("bash, pseudo-terminal, 3, reads input") << u"bash"_s << true << 3 << reads;
        QTest::newRow("zsh, login shell, 3, reads input") << u"zsh"_s << false << 3 << reads;
        QTest::newRow("zsh, pseudo-terminal, 0, prints 8 MiB") << u"zsh"_s << true << 0 << prints;
    }

    // Arguments arrive intact, SHELL is the user's, output is merged and cleaned, the status comes
    // back; a start-up file that prints megabytes or waits on its input hangs neither the command
    // nor the event loop, and on a pseudo-terminal a 3 s command outlives script's null input.
    void runsInLoginShell()
    {
        QFETCH(QString, shell);
        QFETCH(bool, pty);
        QFETCH(int, status);
        QFETCH(QByteArray, startup);
        SKIP_UNLESS_INSTALLED(shell);
        FixtureHome home(shell);
        const QString profile = shell == u"bash"_s ? u".bash_profile"_s : u".zprofile"_s;
        home.write(profile, startup + home.read(profile));
        home.program(u"probe"_s, R"(printf '%s\0' "$SHELL" >> "$HOME/probe.args"
printf '\033[31mBroken\033[0m step\rredrawn\n' >&2; echo 'last line'; sleep "$2"; exit "$1")");
        const QStringList arguments{
            QString::number(status), pty && status ? u"3"_s : u"0"_s,
            u"it's \"two\" * $HOME ${PATH} `id` $(id) \\n !! ~ ; | & > < na\u00efve"_s,
            u"line one\nline two"_s, QString()};
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        ticker.start(100);
        QElapsedTimer elapsed;
        elapsed.start();
        const Awaited<QString> awaited = run(pty, QStringList{u"probe"_s} + arguments);
        const qint64 took = elapsed.elapsed();
        QVERIFY(awaited.proper && awaited.result->has_value() == !status);
        QCOMPARE(awaited.error().status, status);
        QCOMPARE(home.arguments(u"probe"_s),
                 arguments + QStringList{QStandardPaths::findExecutable(shell)});
        // A tick is missed now and then on a busy machine, never most of them.
        QVERIFY2(took < 30000 && ticks >= took / 100 / 2, qPrintable(QString::number(ticks)));
        // The start-up files' greeting comes first; on a pseudo-terminal lines end in CR LF.
        const QString output = awaited.result->value_or(awaited.error().output);
        const QString nl = pty ? u"\r\n"_s : u"\n"_s;
        QVERIFY((pty && !status) ||
                (output.contains(QString::fromUtf8(FixtureHome::kGreeting) + nl) &&
                 output.endsWith(u"Broken step\rredrawn"_s + nl + u"last line"_s)));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("shell");
        for (const char *shell : {"bash", "dash", "zsh"})
            QTest::newRow(shell) << QString::fromLatin1(shell);
    }

    // A command that fails silently fails with no output: the lines an interactive shell without
    // a terminal prints about job control are not the command's. A shell that cannot start is
    // a launch error, on a pseudo-terminal too.
    void failures()
    {
        QFETCH(QString, shell);
        SKIP_UNLESS_INSTALLED(shell);
        FixtureHome home(shell);
        for (const QString &profile : {u".bash_profile"_s, u".zprofile"_s, u".profile"_s})
            home.write(profile, "PATH=\"$HOME/bin:$PATH\"\n");
        home.program(u"silent"_s, "exit 9");
        for (const bool pty : {false, true})
            QCOMPARE(run(pty, {u"silent"_s}).error(), Setup::SetupError::exitedWithStatus(9, QString()));
        qputenv("SHELL", QFile::encodeName(home.path(u"no-such-"_s + shell)));
        for (const bool pty : {false, true})
            QCOMPARE(run(pty, {u"silent"_s, u"ran"_s}).describe(), u"launch"_s);
        // Without script nothing is started.
        const Awaited<QString> noScript =
            run(true, {u"silent"_s, u"ran"_s}, home.path(u"no-such-script"_s));
        QVERIFY(noScript.proper && !home.arguments(u"silent"_s).contains(u"ran"_s));
        QCOMPARE(noScript.error(), Setup::SetupError::scriptMissing());
    }
};

QTEST_GUILESS_MAIN(TestShellRunner)
#include "tst_shellrunner.moc"

#include "AwaitCompletion.h"
#include "FixtureHome.h"

#include "setup/RouterOperations.h"

#include <QRegularExpression>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

static const QString kSpec = u"orvane@latest"_s;

class TestRouterOperations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void operations_data()
    {
        QTest::addColumn<QString>("shell");
        QTest::addColumn<int>("status");
        QTest::newRow("bash, commands succeed") << u"bash"_s << 0;
        QTest::newRow("zsh, commands fail") << u"zsh"_s << 4;
    }

    // Two installs at once under a permissive umask: each writes its own owner-only answers file,
    // hands it to the installer and removes it, whether the installer succeeds or fails. Then
    // update and uninstall.
    void operations()
    {
        QFETCH(QString, shell);
        QFETCH(int, status);
        QCOMPARE(Setup::answersJson({}), R"({"harnesses":[]})");
        const Setup::InstallAnswers answers{
            {u"claude-code"_s, u"codex"_s},
            {{u"claude_funding"_s, {u"subscription"_s}}, {u"openai_funding"_s, {}}},
            {{u"api_key"_s, u"sk-it's $x \"q\"\n\\ \u00fc"_s}, {u"org"_s, QString()}}};
        FixtureHome home(shell);
        home.program(u"npx"_s,
                     R"(stat -c '%a %n' "$5" >> "$HOME/installs"; cat "$5" > "$HOME/answers"
printf 'working\n\033[31mCould not configure\033[0m\n'; exit )" +
                         QByteArray::number(status));
        const mode_t mask = ::umask(0);
        const Awaited<void> awaited = awaitCompletion<void>(
            [&](Completion<void> done) {
                Setup::runInstall(answers, kSpec, done);
                Setup::runInstall(answers, kSpec, done);
            },
            2);
        ::umask(mask);
        QVERIFY(awaited.proper && awaited.result->has_value() == !status);
        QCOMPARE(awaited.error().value_or(SetupError{}).status, status);
        QVERIFY(!status || awaited.error()->output.endsWith(u"working\r\nCould not configure"_s));

        const QStringList arguments = home.arguments(u"npx"_s);
        QCOMPARE(arguments, (QStringList{u"--yes"_s, kSpec, u"install"_s, u"--config"_s,
                                         arguments.value(4), u"--yes"_s}));
        // Each install logged its file's mode and path: two different names in the temporary
        // directory.
        const QString uuid = u"[0-9A-F]{8}(?:-[0-9A-F]{4}){3}-[0-9A-F]{12}"_s;
        const QString file = QRegularExpression::escape(home.tempDir()) + u"/orv_install_"_s;
        const QString log = QString::fromUtf8(home.read(u"installs"_s));
        QVERIFY2(
            QRegularExpression(u"^600 %1(%2)\\.json\n600 %1(?!\\1)%2\\.json\n$"_s.arg(file, uuid))
                .match(log)
                .hasMatch(),
            qPrintable(log));
        const QByteArray json =
            "{\"harnesses\":[\"claude-code\",\"codex\"],\"claude_funding\":[\"subscription\"],"
            "\"openai_funding\":[],\"api_key\":\"sk-it's $x \\\"q\\\"\\n\\\\ \xc3\xbc\"}";
        QCOMPARE(home.read(u"answers"_s), json);
        QCOMPARE(QDir(home.tempDir()).entryList({u"orv_install_*"_s}, QDir::Files), QStringList());

        // Update and uninstall: their exact command lines, their status.
        for (const auto &[operation, expected] :
             {std::pair{&Setup::runUpdate, "--yes orvane@latest update --all"},
              std::pair{&Setup::runUninstall, "--yes orvane@latest uninstall --all --yes"}}) {
            const Awaited<void> other = awaitCompletion<void>(
                [&](Completion<void> done) { operation(kSpec, std::move(done)); });
            QVERIFY(other.proper && other.result->has_value() == !status);
            QCOMPARE(other.error().value_or(SetupError{}).status, status);
            QCOMPARE(home.arguments(u"npx"_s).join(u' '), QString::fromLatin1(expected));
        }
    }
};

QTEST_GUILESS_MAIN(TestRouterOperations)
#include "tst_routeroperations.moc"

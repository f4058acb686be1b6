#include "AwaitCompletion.h"
#include "FixtureHome.h"

#include "setup/InstallAnswers.h"
#include "setup/RouterOperations.h"
#include "setup/ShellRunner.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include <sys/stat.h>

using Shell = FixtureHome::Shell;
using Setup::InstallAnswers;

Q_DECLARE_METATYPE(FixtureHome::Shell)
Q_DECLARE_METATYPE(Setup::InstallAnswers)

namespace {

const QString kSpec = QStringLiteral("orvane@latest");

// The installer stand-in: records its arguments, reports the answers file's mode and contents,
// prints coloured progress and ends with `status`.
QByteArray fakeInstaller(int status)
{
    return FixtureHome::recordArguments(QStringLiteral("npx")) + R"(config=""; previous=""
for argument in "$@"; do
    [ "$previous" = "--config" ] && config=$argument
    previous=$argument
done
printf '%s\n' "$config" >> "$HOME/installs.log"
stat -c %a "$config" > "$HOME/answers.mode"
cat "$config" > "$HOME/answers.copy"
printf '\033[1mConfiguring\033[0m from answers: '
cat "$config"
printf '\n\033[31mCould not configure claude-code\033[0m\n'
exit )" + QByteArray::number(status);
}

QStringList leftoverAnswerFiles(const QString &directory)
{
    return QDir(directory).entryList({QStringLiteral("orv_install_*")},
                                     QDir::Files | QDir::Hidden | QDir::System);
}

InstallAnswers sampleAnswers()
{
    InstallAnswers answers;
    answers.harnesses = {QStringLiteral("claude-code"), QStringLiteral("codex")};
    answers.fundingByGroup = {{QStringLiteral("claude_funding"), {QStringLiteral("subscription")}},
                              {QStringLiteral("openai_funding"), {}}};
    answers.fields = {{QStringLiteral("api_key"), QStringLiteral("sk-it's $secret")},
                      {QStringLiteral("org_name"), QString()}};
    return answers;
}

} // namespace

class TestRouterOperations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void answersJson_data();
    void answersJson();
    void install_data();
    void install();
    void twoInstallsUseTwoFiles();
    void installWithoutScript();
    void installWithUnwritableTemporaryDirectory();
    void updateAndUninstall_data();
    void updateAndUninstall();
};

void TestRouterOperations::cleanup()
{
    Setup::setScriptProgram(QStringLiteral("/usr/bin/script"));
}

void TestRouterOperations::answersJson_data()
{
    QTest::addColumn<InstallAnswers>("answers");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("nothing chosen") << InstallAnswers{} << QByteArray(R"({"harnesses":[]})");
    QTest::newRow("harnesses, funding and fields")
        << sampleAnswers()
        << QByteArray(R"({"harnesses":["claude-code","codex"],"claude_funding":["subscription"],)"
                      R"("openai_funding":[],"api_key":"sk-it's $secret"})");
    InstallAnswers escaped;
    escaped.fields = {{QStringLiteral("note"), QStringLiteral("say \"hi\"\n\\ \u00fc\u2713")}};
    QTest::newRow("escaping") << escaped
                              << QByteArray("{\"harnesses\":[],\"note\":\"say \\\"hi\\\"\\n\\\\ "
                                            "\xc3\xbc\xe2\x9c\x93\"}");
    InstallAnswers colliding;
    colliding.harnesses = {QStringLiteral("opencode")};
    colliding.fundingByGroup = {{QStringLiteral("harnesses"), {QStringLiteral("x")}},
                                {QStringLiteral("funding"), {QStringLiteral("byok")}}};
    colliding.fields = {{QStringLiteral("funding"), QStringLiteral("typed")},
                        {QStringLiteral("harnesses"), QStringLiteral("typed")}};
    QTest::newRow("first member of a name wins")
        << colliding << QByteArray(R"({"harnesses":["opencode"],"funding":["byok"]})");
}

void TestRouterOperations::answersJson()
{
    QFETCH(InstallAnswers, answers);
    QFETCH(QByteArray, expected);
    QCOMPARE(Setup::answersJson(answers), expected);
}

void TestRouterOperations::install_data()
{
    QTest::addColumn<Shell>("shell");
    QTest::addColumn<int>("status");
    QTest::newRow("bash, installed") << Shell::Bash << 0;
    QTest::newRow("bash, installer fails") << Shell::Bash << 4;
    QTest::newRow("zsh, installed") << Shell::Zsh << 0;
    QTest::newRow("zsh, installer fails") << Shell::Zsh << 4;
}

void TestRouterOperations::install()
{
    QFETCH(Shell, shell);
    QFETCH(int, status);
    if (FixtureHome::shellProgram(shell).isEmpty())
        QSKIP("zsh is not installed; the zsh rows need a real zsh");
    FixtureHome home(shell);
    QVERIFY(home.isValid());
    home.activate();
    home.writeProgram(QStringLiteral("npx"), fakeInstaller(status));

    // Even with a permissive umask the answers are the owner's alone.
    const mode_t savedMask = ::umask(0);
    const Awaited<void> awaited = awaitCompletion<void>(
        [](Completion<void> done) { Setup::runInstall(sampleAnswers(), kSpec, std::move(done)); });
    ::umask(savedMask);
    QVERIFY(awaited.deliveredProperly());

    const std::optional<QStringList> arguments = home.recordedArguments(QStringLiteral("npx"));
    QVERIFY(arguments);
    QCOMPARE(arguments->size(), 6);
    const QString path = arguments->at(4);
    QCOMPARE(*arguments, (QStringList{QStringLiteral("--yes"), kSpec, QStringLiteral("install"),
                                      QStringLiteral("--config"), path, QStringLiteral("--yes")}));
    const QRegularExpression name(
        QStringLiteral("^orv_install_[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}"
                       "\\.json$"));
    QCOMPARE(QFileInfo(path).absolutePath(), home.tempDir());
    QVERIFY2(name.match(QFileInfo(path).fileName()).hasMatch(), qPrintable(path));
    QCOMPARE(home.readFile(QStringLiteral("answers.mode")), QByteArray("600\n"));
    QCOMPARE(home.readFile(QStringLiteral("answers.copy")), Setup::answersJson(sampleAnswers()));
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(leftoverAnswerFiles(home.tempDir()), QStringList());

    if (status == 0) {
        QVERIFY(awaited.result->has_value());
        return;
    }
    const std::optional<SetupError> error = setupErrorOf(awaited.result);
    QVERIFY(error);
    QCOMPARE(error->status, status);
    QVERIFY2(error->output.endsWith(QStringLiteral("\r\nCould not configure claude-code")),
             qPrintable(error->output));
    QVERIFY(error->output.contains(QStringLiteral("Configuring from answers: ") +
                                   QString::fromUtf8(Setup::answersJson(sampleAnswers()))));
}

void TestRouterOperations::twoInstallsUseTwoFiles()
{
    FixtureHome home(Shell::Bash);
    QVERIFY(home.isValid());
    home.activate();
    home.writeProgram(QStringLiteral("npx"), fakeInstaller(0));
    const auto start = [](Completion<void> done) {
        Setup::runInstall(InstallAnswers{}, kSpec, std::move(done));
    };
    int finished = 0;
    Setup::runInstall(InstallAnswers{}, kSpec,
                      [&finished](const SetupResult<void> &) { ++finished; });
    const Awaited<void> second = awaitCompletion<void>(start);
    QTRY_COMPARE_WITH_TIMEOUT(finished, 1, 60000);
    QVERIFY(second.deliveredProperly());

    const QList<QByteArray> paths =
        home.readFile(QStringLiteral("installs.log")).trimmed().split('\n');
    QCOMPARE(paths.size(), 2);
    QVERIFY(paths.at(0) != paths.at(1));
    QCOMPARE(leftoverAnswerFiles(home.tempDir()), QStringList());
}

void TestRouterOperations::installWithoutScript()
{
    FixtureHome home(Shell::Bash);
    QVERIFY(home.isValid());
    home.activate();
    home.writeProgram(QStringLiteral("npx"), fakeInstaller(0));
    Setup::setScriptProgram(home.filePath(QStringLiteral("no-such-script")));
    const Awaited<void> awaited = awaitCompletion<void>(
        [](Completion<void> done) { Setup::runInstall(sampleAnswers(), kSpec, std::move(done)); });
    QVERIFY(awaited.deliveredProperly());
    QCOMPARE(setupErrorOf(awaited.result), SetupError::scriptMissing());
    QVERIFY(!home.recordedArguments(QStringLiteral("npx")));
    QCOMPARE(leftoverAnswerFiles(home.tempDir()), QStringList());
}

void TestRouterOperations::installWithUnwritableTemporaryDirectory()
{
    FixtureHome home(Shell::Bash);
    QVERIFY(home.isValid());
    home.activate();
    home.writeProgram(QStringLiteral("npx"), fakeInstaller(0));
    const QString missing = home.filePath(QStringLiteral("no-such-directory"));
    qputenv("TMPDIR", QFile::encodeName(missing));
    const Awaited<void> awaited = awaitCompletion<void>(
        [](Completion<void> done) { Setup::runInstall(sampleAnswers(), kSpec, std::move(done)); });
    QVERIFY(awaited.deliveredProperly());
    QVERIFY2(awaited.result && !awaited.result->has_value(),
             qPrintable(
                 home.recordedArguments(QStringLiteral("npx")).value_or(QStringList()).join(u'|')));
    const auto *error = std::get_if<PlatformError>(&awaited.result->error());
    QVERIFY(error);
    QCOMPARE(error->operation, QStringLiteral("write"));
    QVERIFY(error->path.startsWith(missing + QStringLiteral("/orv_install_")));
    QVERIFY(!error->message.isEmpty());
    QVERIFY(!home.recordedArguments(QStringLiteral("npx")));
}

void TestRouterOperations::updateAndUninstall_data()
{
    QTest::addColumn<bool>("uninstall");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("expected");
    const QStringList update{QStringLiteral("--yes"), kSpec, QStringLiteral("update"),
                             QStringLiteral("--all")};
    const QStringList uninstall{QStringLiteral("--yes"), kSpec, QStringLiteral("uninstall"),
                                QStringLiteral("--all"), QStringLiteral("--yes")};
    QTest::newRow("update") << false << 0 << update;
    QTest::newRow("update fails") << false << 2 << update;
    QTest::newRow("uninstall") << true << 0 << uninstall;
    QTest::newRow("uninstall fails") << true << 5 << uninstall;
}

void TestRouterOperations::updateAndUninstall()
{
    QFETCH(bool, uninstall);
    QFETCH(int, status);
    QFETCH(QStringList, expected);
    FixtureHome home(Shell::Bash);
    QVERIFY(home.isValid());
    home.activate();
    home.writeProgram(QStringLiteral("npx"), FixtureHome::recordArguments(QStringLiteral("npx")) +
                                                 "echo 'working'\necho 'Nothing to do'\nexit " +
                                                 QByteArray::number(status));
    const Awaited<void> awaited = awaitCompletion<void>([uninstall](Completion<void> done) {
        if (uninstall)
            Setup::runUninstall(kSpec, std::move(done));
        else
            Setup::runUpdate(kSpec, std::move(done));
    });
    QVERIFY(awaited.deliveredProperly());
    QCOMPARE(home.recordedArguments(QStringLiteral("npx")), expected);
    if (status == 0) {
        QVERIFY(awaited.result->has_value());
        return;
    }
    const std::optional<SetupError> error = setupErrorOf(awaited.result);
    QVERIFY(error);
    QCOMPARE(error->status, status);
    QVERIFY(error->output.endsWith(QStringLiteral("working\r\nNothing to do")));
}

QTEST_GUILESS_MAIN(TestRouterOperations)
#include "tst_routeroperations.moc"

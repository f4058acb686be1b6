// The wizard's flow over the scripted setup engine: every completion is released by the test,
// one at a time, and time moves only when the test moves the manual clock.

#include "manifest/ManifestLoader.h"
#include "setup/RouterOperations.h"
#include "support/ManualTimers.h"
#include "support/ScriptedSetupEngine.h"
#include "wizard/QuestionsModel.h"
#include "wizard/WizardController.h"

#include <QDir>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Wizard::QuestionsModel;
using Wizard::WizardController;
using Screen = WizardController::Screen;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using FieldMap = QMap<QString, QString>;

Q_DECLARE_METATYPE(Wizard::Failure)

namespace {

// claude-code is found on the test machine (its ~/.claude exists), codex is not. opencode has
// no command. The openai group offers a "-proxy" option for private gateways.
const char *const manifestJson = R"({
  "schema_version": 1,
  "default_harness_ids": ["codex"],
  "harnesses": [
    {"id": "claude-code", "name": "Claude Code", "config_paths": ["~/.claude"], "orv_command": "orv claude", "funding_group": "claude"},
    {"id": "codex", "name": "Codex", "config_paths": ["~/.codex/config.toml"], "orv_command": "orv codex", "funding_group": "openai"},
    {"id": "opencode", "name": "OpenCode", "config_paths": [], "funding_group": "openai"},
    {"id": "plain", "name": "Plain", "config_paths": [], "orv_command": "orv plain"}
  ],
  "funding_groups": {
    "claude": {"config_key": "anthropic", "title": "Claude", "options": [
      {"id": "subscription", "name": "Subscription", "fields": []},
      {"id": "apikey", "name": "API key", "fields": [
        {"config_key": "anthropicApiKey", "label": "Anthropic API key", "secret": true, "prefix": "sk-ant-"}]}]},
    "openai": {"config_key": "openai", "title": "OpenAI", "options": [
      {"id": "openai", "name": "OpenAI key", "fields": [
        {"config_key": "openaiKey", "label": "OpenAI API key", "secret": true, "prefix": "sk-"}]},
      {"id": "openrouter", "name": "OpenRouter", "fields": []},
      {"id": "openai-proxy", "name": "Gateway", "fields": []}]}
  },
  "advanced": {"title": "Advanced", "description": "", "fields": []}
})";

const QString packageSpec = u"orvane@9.9.9-test"_s;
const QString boom = u"npm ERR! boom"_s;

Manifest::Resolved testResolved()
{
    auto manifest = Manifest::ManifestLoader::decode(QByteArray(manifestJson));
    if (!manifest)
        qFatal("the test manifest does not decode");
    return {packageSpec, *manifest};
}

// "codex:openrouter" is a harness with a recorded funding, "codex" one without.
QList<Setup::ExistingHarness> existingFrom(const QStringList &entries)
{
    QList<Setup::ExistingHarness> existing;
    for (const QString &entry : entries) {
        const QStringList parts = entry.split(u':');
        existing.append(
            {parts.at(0), parts.size() > 1 ? std::optional(parts.at(1)) : std::nullopt});
    }
    return existing;
}

// "a b c" as the list {a, b, c}.
QStringList stepsOf(const char *text)
{
    return QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts);
}

QStringList idsOf(const QList<Manifest::ManifestHarness> &harnesses)
{
    QStringList ids;
    for (const Manifest::ManifestHarness &harness : harnesses)
        ids.append(harness.id);
    return ids;
}

const Setup::VersionInfo firstVersions{u"1.0.0"_s, u"1.1.0"_s};
const Setup::VersionInfo updatedVersions{u"1.1.0"_s, u"1.1.0"_s};

// A controller over a scripted engine, a manual clock and a home folder where only
// claude-code's configuration exists.
struct Rig
{
    QTemporaryDir home;
    ScriptedSetupEngine engine;
    ManualClock clock;
    ManualTimers timers{clock};
    std::expected<Manifest::Resolved, Wizard::Failure> manifest = testResolved();
    std::unique_ptr<WizardController> controller;
    QPointer<QuestionsModel> marked;

    Rig()
    {
        qputenv("HOME", QFile::encodeName(home.path()));
        QDir(home.path()).mkpath(u".claude"_s);
        controller = std::make_unique<WizardController>(
            engine, [this] { return manifest; }, timers);
    }

    void setReturning(const QStringList &existing)
    {
        engine.existingInstall = !existing.isEmpty();
        engine.existingHarnesses = existingFrom(existing);
    }

    // "first" (nothing installed), "returning" (claude-code and codex installed), "noNode" and
    // "noNode-returning": preflight run to its end.
    [[nodiscard]] bool start(const QString &kind)
    {
        if (kind.endsWith(u"returning"_s))
            setReturning({u"claude-code:apikey"_s, u"codex"_s});
        controller->preflight();
        const bool node = !kind.startsWith(u"noNode"_s);
        return engine.releaseVersionInfo(firstVersions) &&
               engine.releaseNodeVersion(node ? std::optional(u"v20.11.0"_s) : std::nullopt);
    }

    // One user action or engine answer; false when it could not be carried out.
    [[nodiscard]] bool act(const QString &step)
    {
        const QString verb = step.section(u':', 0, 0);
        const QString rest = step.section(u':', 1);
        WizardController &c = *controller;
        if (verb == u"getStarted")
            c.getStarted();
        else if (verb == u"enterprise")
            c.openEnterpriseGateway();
        else if (verb == u"continue")
            c.continueEnterpriseGateway(u"https://gw.example"_s, u"me@example.com"_s);
        else if (verb == u"cancel")
            c.cancelEnterpriseGateway();
        else if (verb == u"remove")
            c.removeEnterpriseGateway();
        else if (verb == u"leave")
            c.leaveQuestions();
        else if (verb == u"gone")
            setReturning({}); // the installation record is no more
        else if (verb == u"install")
            c.runInstall();
        else if (verb == u"update")
            c.runUpdate();
        else if (verb == u"uninstall")
            c.runUninstall();
        else if (verb == u"openLauncher")
            c.openLauncher();
        else if (verb == u"settings")
            c.openSettings();
        else if (verb == u"retry")
            c.retry();
        else if (verb == u"recheck")
            c.recheck();
        else if (verb == u"claude" || verb == u"claude!")
            c.launchClaudeDesktop(Setup::DesktopLaunchMode::Gateway, verb.endsWith(u'!'));
        else if (verb == u"codex" || verb == u"codex!")
            c.launchCodexDesktop(Setup::DesktopLaunchMode::Gateway, verb.endsWith(u'!'));
        else if (verb == u"opencode")
            c.launchOpenCodeDesktop();
        else if (verb == u"native")
            c.launchClaudeDesktop(Setup::DesktopLaunchMode::Native, false);
        else if (verb == u"terminal")
            c.launchTerminal();
        else if (verb == u"versions")
            return engine.releaseVersionInfo(updatedVersions);
        else if (verb == u"ok")
            return engine.succeed(rest);
        else if (verb == u"fail")
            return engine.fail(rest, Setup::SetupError::exitedWithStatus(1, boom));
        else if (verb == u"wait")
            timers.advance(std::chrono::milliseconds(rest.toInt()));
        else if (verb == u"mark") {
            // Remembers the questions and changes a choice in them.
            marked = c.questionsModel();
            if (!marked)
                return false;
            marked->toggleHarness(u"plain"_s);
        } else if (verb == u"fill" && c.questionsModel()) {
            // Every field asked for, with a key both groups' prefixes accept.
            QuestionsModel &model = *c.questionsModel();
            for (const QString &group : model.activeFundingGroups())
                for (const Manifest::ManifestField &field : model.fields(group))
                    model.setFieldValue(field, u"sk-ant-1"_s);
        } else if (verb == u"untick" && c.questionsModel())
            c.questionsModel()->toggleHarness(u"claude-code"_s); // the one tool preselected
        else
            return false;
        return true;
    }

    [[nodiscard]] bool run(const QStringList &steps)
    {
        for (const QString &step : steps)
            if (!act(step)) {
                qWarning("step %s could not be carried out", qPrintable(step));
                return false;
            }
        return true;
    }

    // The launches and quit requests the engine saw, in order: "launchClaudeDesktop(gateway)",
    // "quit codex", ...
    QStringList launchLog() const
    {
        static const QMap<Setup::DesktopApp, QString> apps{
            {Setup::DesktopApp::Claude, u"claude"_s},
            {Setup::DesktopApp::Codex, u"codex"_s},
            {Setup::DesktopApp::OpenCode, u"openCode"_s}};
        QStringList log;
        for (const auto &call : engine.calls) {
            if (call.operation == u"terminateDesktopApp")
                log.append(u"quit "_s + apps.value(*call.app));
            else if (call.operation.startsWith(u"launch"))
                log.append(call.operation +
                           (call.mode ? QChar(u'(') + Setup::rawValue(*call.mode) + QChar(u')')
                                      : QString()));
        }
        return log;
    }
};

} // namespace

class TestWizardController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void preflight_data();
    void preflight();
    void recheck_data();
    void recheck();
    void transitions_data();
    void transitions();
    void describe_data();
    void describe();
    void commands_data();
    void commands();
    void enterpriseFields_data();
    void enterpriseFields();
    void questionsModelLifetime_data();
    void questionsModelLifetime();
    void desktopLaunches_data();
    void desktopLaunches();
    void terminal_data();
    void terminal();
    void delayedTerminalOutlivesTheLauncher();
    void firstInstallation();
    void returningUserUpdatesAndUninstalls();
};

void TestWizardController::preflight_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<bool>("node");
    QTest::addColumn<bool>("nodeAnswersFirst");
    QTest::addColumn<Screen>("screen");
    QTest::addColumn<QStringList>("commands");

    QTest::newRow("first run") << QStringList{} << true << true << Screen::Welcome << QStringList{};
    QTest::newRow("first run, versions answer first")
        << QStringList{} << true << false << Screen::Welcome << QStringList{};
    QTest::newRow("returning user: the launcher with the installed tools' commands")
        << QStringList{u"codex:openrouter"_s, u"plain"_s, u"claude-code"_s} << true << false
        << Screen::Launched << QStringList{u"orv claude"_s, u"orv codex"_s, u"orv plain"_s};
    QTest::newRow("no Node.js on a first run")
        << QStringList{} << false << true << Screen::NoNode << QStringList{};
    QTest::newRow("no Node.js on a returning machine: not the launcher")
        << QStringList{u"codex"_s} << false << false << Screen::NoNode
        << QStringList{u"orv codex"_s};
}

void TestWizardController::preflight()
{
    QFETCH(QStringList, existing);
    QFETCH(bool, node);
    QFETCH(bool, nodeAnswersFirst);
    QFETCH(Screen, screen);
    QFETCH(QStringList, commands);

    Rig rig;
    rig.setReturning(existing);
    QSignalSpy screens(rig.controller.get(), &WizardController::screenChanged);
    rig.controller->preflight();

    // The Node.js probe starts first and runs beside the rest; the record is read only when
    // there is one.
    const QStringList expectedCalls =
        existing.isEmpty()
            ? QStringList{u"nodeVersion"_s, u"hasExistingInstall"_s, u"versionInfo"_s}
            : QStringList{u"nodeVersion"_s, u"hasExistingInstall"_s, u"readExistingHarnesses"_s,
                          u"versionInfo"_s};
    QCOMPARE(rig.engine.operations(), expectedCalls);
    QVERIFY(rig.controller->resolved().has_value());
    QCOMPARE(idsOf(rig.controller->detected()), QStringList{u"claude-code"_s});
    QCOMPARE(rig.controller->existing(), existingFrom(existing));
    QCOMPARE(rig.controller->isReturning(), !existing.isEmpty());
    QCOMPARE(rig.controller->launchedCommands(), commands);

    const auto nodeVersion = node ? std::optional(u"v22.1.0"_s) : std::nullopt;
    if (nodeAnswersFirst)
        QVERIFY(rig.engine.releaseNodeVersion(nodeVersion));
    else
        QVERIFY(rig.engine.releaseVersionInfo(firstVersions));
    QCOMPARE(rig.controller->screen(), Screen::Loading);
    QCOMPARE(screens.count(), 0);

    if (nodeAnswersFirst)
        QVERIFY(rig.engine.releaseVersionInfo(firstVersions));
    else
        QVERIFY(rig.engine.releaseNodeVersion(nodeVersion));
    QCOMPARE(rig.controller->screen(), screen);
    QCOMPARE(screens.count(), 1);
    QCOMPARE(rig.controller->versionInfo(), firstVersions);
    QCOMPARE(rig.controller->rechecked(), false);
}

void TestWizardController::recheck_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("node");
    QTest::addColumn<Screen>("screen");

    QTest::newRow("still no Node.js") << u"noNode"_s << false << Screen::NoNode;
    QTest::newRow("found on a first run") << u"noNode"_s << true << Screen::Welcome;
    QTest::newRow("found on a returning machine")
        << u"noNode-returning"_s << true << Screen::Launched;
}

void TestWizardController::recheck()
{
    QFETCH(QString, start);
    QFETCH(bool, node);
    QFETCH(Screen, screen);

    Rig rig;
    QVERIFY(rig.start(start));
    QCOMPARE(rig.controller->screen(), Screen::NoNode);
    QSignalSpy rechecked(rig.controller.get(), &WizardController::recheckedChanged);

    rig.controller->recheck();
    // Set from the moment of the click; the Node.js screen stays up while the check runs.
    QCOMPARE(rechecked.count(), 1);
    QVERIFY(rig.controller->rechecked());
    QVERIFY(rig.controller->checkingNode());
    QCOMPARE(rig.controller->screen(), Screen::NoNode);
    QCOMPARE(rig.engine.callCount(u"nodeVersion"_s), 2);
    QCOMPARE(rig.engine.pending(), (QStringList{u"nodeVersion"_s, u"versionInfo"_s}));

    QVERIFY(rig.engine.releaseNodeVersion(node ? std::optional(u"v20.0.0"_s) : std::nullopt));
    QCOMPARE(rig.controller->screen(), Screen::NoNode);
    QVERIFY(rig.controller->checkingNode());
    QVERIFY(rig.engine.releaseVersionInfo(firstVersions));
    QCOMPARE(rig.controller->screen(), screen);
    QVERIFY(rig.controller->rechecked());
    QVERIFY(!rig.controller->checkingNode());
}

void TestWizardController::transitions_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<Screen>("screen");
    QTest::addColumn<QString>("statusText");
    QTest::addColumn<QString>("errorText");

    const auto row = [](const char *name, const char *start, const char *steps, Screen screen,
                        const char *status = "Installing", const QString &error = {}) {
        QTest::newRow(name) << QString::fromUtf8(start) << stepsOf(steps) << screen
                            << QString::fromUtf8(status) + u'\u2026' << error;
    };
    // clang-format off
    row("welcome: Get started", "first", "getStarted", Screen::Questions);
    row("questions: Have an Enterprise Gateway?", "first", "getStarted enterprise", Screen::Enterprise);
    row("enterprise: Continue", "first", "getStarted enterprise continue", Screen::Questions);
    row("enterprise: Back", "first", "getStarted enterprise cancel", Screen::Questions);
    row("questions: install runs", "first", "getStarted install", Screen::Installing);
    row("questions: no install without a tool", "first", "getStarted untick install", Screen::Questions);
    row("install succeeds", "first", "getStarted install ok:runInstall", Screen::Complete);
    row("install fails", "first", "getStarted install fail:runInstall", Screen::Failed, "Installing", boom);
    row("complete: Open Launcher", "first", "getStarted install ok:runInstall openLauncher", Screen::Launched);
    row("launched: Settings", "returning", "settings", Screen::Questions);
    row("launched: update runs", "returning", "update", Screen::Installing, "Updating");
    row("update done, new versions still awaited", "returning", "update ok:runUpdate", Screen::Installing, "Updating");
    row("update succeeds", "returning", "update ok:runUpdate versions", Screen::Launched, "Updating");
    row("update fails", "returning", "update fail:runUpdate", Screen::Failed, "Updating", boom);
    row("launched: uninstall runs", "returning", "uninstall", Screen::Installing, "Uninstalling");
    row("uninstall succeeds", "returning", "uninstall ok:runUninstall", Screen::Welcome, "Uninstalling");
    row("uninstall fails", "returning", "uninstall fail:runUninstall", Screen::Failed, "Uninstalling", boom);
    row("failed install: Try again, the questions", "first", "getStarted install fail:runInstall retry", Screen::Questions, "Installing", boom);
    row("failed update: Try again, welcome", "returning", "update fail:runUpdate retry", Screen::Welcome, "Updating", boom);
    row("failed uninstall: Try again, the launcher", "returning", "uninstall fail:runUninstall retry", Screen::Launched, "Uninstalling", boom);
    row("failed uninstall that removed it all: Try again, welcome", "returning", "uninstall fail:runUninstall gone retry getStarted fill install", Screen::Installing, "Installing", boom);
    row("Settings: Back leads to the launcher", "returning", "settings leave", Screen::Launched);
    row("first run: the questions lead nowhere back", "first", "getStarted leave", Screen::Questions);
    row("Settings, a failed save, Try again: still back to the launcher", "returning", "settings fill install fail:runInstall retry leave", Screen::Launched, "Updating", boom);
    row("a returning user's install says Updating", "returning", "settings fill install", Screen::Installing, "Updating");
    row("after an uninstall the install says Installing", "returning", "uninstall ok:runUninstall getStarted install", Screen::Installing);
    row("after a failed update and Try again, still Updating", "returning", "update fail:runUpdate retry getStarted fill install", Screen::Installing, "Updating", boom);
    row("after a failed first install and Try again, Installing", "first", "getStarted install fail:runInstall retry getStarted install", Screen::Installing, "Installing", boom);
    row("launches never change the screen", "returning", "claude fail:launchClaudeDesktop terminal ok:openTerminal wait:500", Screen::Launched);
    row("actions a screen does not offer do nothing", "first", "retry openLauncher update uninstall settings install cancel", Screen::Welcome);
    // clang-format on
}

void TestWizardController::transitions()
{
    QFETCH(QString, start);
    QFETCH(QStringList, steps);

    Rig rig;
    QVERIFY(rig.start(start));
    QVERIFY(rig.run(steps));
    QTEST(rig.controller->screen(), "screen");
    QTEST(rig.controller->statusText(), "statusText");
    QTEST(rig.controller->errorText(), "errorText");
}

void TestWizardController::describe_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<Wizard::Failure>("failure");
    QTest::addColumn<QString>("text");

    auto exit = [](const QString &output) {
        return Wizard::Failure(Setup::SetupFailure(Setup::SetupError::exitedWithStatus(1, output)));
    };
    const Wizard::Failure missing = Setup::SetupFailure(Setup::SetupError::scriptMissing());
    const Wizard::Failure platform = Setup::SetupFailure(
        Setup::PlatformError{u"launch"_s, u"/usr/bin/orv"_s, u"No such file or directory"_s});

    QTest::newRow("the installer's last line")
        << u"runInstall"_s << exit(u"step 1\nstep 2\nnpm ERR! 404"_s) << u"npm ERR! 404"_s;
    QTest::newRow("a message then empty lines, alone")
        << u"runInstall"_s << exit(u"Error: no network\n\n\n"_s) << u"Error: no network"_s;
    QTest::newRow("blank but not empty lines count")
        << u"runInstall"_s << exit(u"Error\n  "_s) << u"  "_s;
    QTest::newRow("line feeds only: the whole output")
        << u"runInstall"_s << exit(u"\n\n"_s) << u"\n\n"_s;
    QTest::newRow("empty output") << u"runInstall"_s << exit(QString())
                                  << u"Setup didn't finish. You can try again."_s;
    QTest::newRow("script missing")
        << u"runInstall"_s << missing << u"Setup didn't finish. You can try again."_s;
    QTest::newRow("a platform error is anything else")
        << u"runInstall"_s << platform << u"Setup didn't finish. You can try again."_s;
    QTest::newRow("the temporary folder missing")
        << u"runInstall"_s
        << Wizard::Failure(Setup::SetupFailure(Setup::PlatformError{
               QLatin1String(Setup::missingFolderOperation), u"/tmp/gone"_s, u"No such file or directory"_s}))
        << u"Setup didn't finish. The temporary folder /tmp/gone is missing."_s;
    QTest::newRow("update: last line") << u"runUpdate"_s << exit(u"a\nb"_s) << u"b"_s;
    QTest::newRow("update's fallback")
        << u"runUpdate"_s << exit(QString()) << u"Update didn't finish. You can try again."_s;
    QTest::newRow("uninstall's fallback")
        << u"runUninstall"_s << missing << u"Uninstall didn't finish. You can try again."_s;
    QTest::newRow("Claude Desktop's fallback")
        << u"launchClaudeDesktop"_s << platform
        << u"Claude Desktop couldn't be launched. You can try again."_s;
    QTest::newRow("Codex Desktop's fallback")
        << u"launchCodexDesktop"_s << exit(QString())
        << u"Codex Desktop couldn't be launched. You can try again."_s;
    QTest::newRow("OpenCode's fallback") << u"launchOpenCodeDesktop"_s << missing
                                         << u"OpenCode couldn't be launched. You can try again."_s;
    QTest::newRow("a launch's own output line")
        << u"launchCodexDesktop"_s << exit(u"orv: Codex is not installed"_s)
        << u"orv: Codex is not installed"_s;
    QTest::newRow("a manifest this program cannot read")
        << u"manifest"_s << Wizard::Failure(Manifest::ManifestError::unsupportedSchema(7))
        << Manifest::ManifestError::unsupportedSchema(7).description();
}

void TestWizardController::describe()
{
    QFETCH(QString, operation);
    QFETCH(Wizard::Failure, failure);
    QFETCH(QString, text);

    Rig rig;
    if (operation == u"manifest") {
        rig.manifest = std::unexpected(failure);
        rig.controller->preflight();
        QCOMPARE(rig.controller->screen(), Screen::Failed);
        QCOMPARE(rig.controller->errorText(), text);
        return;
    }
    QVERIFY(rig.start(u"returning"_s));
    static const QMap<QString, QStringList> start{
        {u"runInstall"_s, {u"settings"_s, u"fill"_s, u"install"_s}},
        {u"runUpdate"_s, {u"update"_s}},
        {u"runUninstall"_s, {u"uninstall"_s}},
        {u"launchClaudeDesktop"_s, {u"claude"_s}},
        {u"launchCodexDesktop"_s, {u"codex"_s}},
        {u"launchOpenCodeDesktop"_s, {u"opencode"_s}}};
    QVERIFY(rig.run(start.value(operation)));
    QVERIFY(rig.engine.fail(operation, std::get<Setup::SetupFailure>(failure)));
    if (operation.startsWith(u"launch")) {
        QCOMPARE(rig.controller->screen(), Screen::Launched);
        QCOMPARE(rig.controller->launcherErrorText(), std::optional(text));
    } else {
        QCOMPARE(rig.controller->screen(), Screen::Failed);
        QCOMPARE(rig.controller->errorText(), text);
    }
    QCOMPARE(Wizard::describe(failure, u"Fallback."_s) == u"Fallback. You can try again."_s,
             text.endsWith(u" You can try again."_s));
}

void TestWizardController::commands_data()
{
    QTest::addColumn<QStringList>("ids");
    QTest::addColumn<QStringList>("commands");

    const auto row = [](const char *name, const char *ids, const char *commands) {
        QTest::newRow(name) << stepsOf(ids) << QString::fromUtf8(commands).split(u',', Qt::SkipEmptyParts);
    };
    // clang-format off
    row("manifest order, not the ids' order", "plain codex claude-code", "orv claude,orv codex,orv plain");
    row("duplicates once", "codex codex plain", "orv codex,orv plain");
    row("unknown ids ignored", "ghost codex", "orv codex");
    row("a harness without a command", "opencode plain", "orv plain");
    row("no ids", "", "");
    // clang-format on
}

void TestWizardController::commands()
{
    QFETCH(QStringList, ids);

    Rig rig;
    QVERIFY(rig.start(u"first"_s));
    QTEST(rig.controller->commands(ids), "commands");
}

void TestWizardController::enterpriseFields_data()
{
    QTest::addColumn<QStringList>("form"); // url and e-mail as typed; empty: no gateway
    QTest::addColumn<FieldMap>("sent");

    QTest::newRow("no gateway") << QStringList{} << FieldMap{};
    QTest::newRow("the gateway's address and e-mail")
        << QStringList{u"https://gw.example"_s, u"me@example.com"_s}
        << FieldMap{{u"gatewayBaseUrl"_s, u"https://gw.example"_s},
                    {u"email"_s, u"me@example.com"_s}};
    QTest::newRow("the form trims spaces and tabs, nothing else")
        << QStringList{u" \thttps://gw.example\t "_s, u"  me@example.com\n"_s}
        << FieldMap{{u"gatewayBaseUrl"_s, u"https://gw.example"_s},
                    {u"email"_s, u"me@example.com\n"_s}};
}

void TestWizardController::enterpriseFields()
{
    QFETCH(QStringList, form);

    Rig rig;
    QVERIFY(rig.start(u"first"_s));
    QVERIFY(rig.run({u"getStarted"_s}));
    if (!form.isEmpty()) {
        rig.controller->openEnterpriseGateway();
        rig.controller->continueEnterpriseGateway(form.at(0), form.at(1));
    }
    // The model's answers go to the installer as they are: nothing is added on the way.
    const Setup::InstallAnswers answers = rig.controller->questionsModel()->answers();
    rig.controller->runInstall();

    const auto call = rig.engine.lastCall(u"runInstall"_s);
    QCOMPARE(call.packageSpec, packageSpec);
    QTEST(call.answers.fields, "sent");
    QCOMPARE(call.answers.harnesses, answers.harnesses);
    QCOMPARE(call.answers.fundingByGroup, answers.fundingByGroup);
}

void TestWizardController::questionsModelLifetime_data()
{
    QTest::addColumn<QStringList>("steps"); // "mark" remembers the model and picks a tool
    QTest::addColumn<bool>("sameModel");
    QTest::addColumn<QString>("identity");
    QTest::addColumn<bool>("toolKept");

    const auto row = [](const char *name, const char *steps, bool same, const char *identity,
                        bool kept) {
        QTest::newRow(name) << stepsOf(steps) << same << QString::fromUtf8(identity) << kept;
    };
    // clang-format off
    row("Back without a gateway keeps the questions as they were", "getStarted mark enterprise cancel", true, "hosted", true);
    row("Continue starts afresh for the gateway, the tools kept", "getStarted mark enterprise continue", false, "https://gw.example", true);
    row("Back from changing the gateway keeps it", "getStarted enterprise continue mark enterprise cancel", true, "https://gw.example", true);
    row("Remove goes back to the hosted gateway, the tools kept", "getStarted enterprise continue mark remove", false, "hosted", true);
    row("Try again after a failed install keeps every answer", "getStarted mark install fail:runInstall retry", true, "hosted", true);
    row("Settings from the launcher", "getStarted mark install ok:runInstall openLauncher settings", false, "hosted", false);
    // clang-format on
}

void TestWizardController::questionsModelLifetime()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, sameModel);
    QFETCH(QString, identity);
    QFETCH(bool, toolKept);

    Rig rig;
    QVERIFY(rig.start(u"first"_s));
    QSignalSpy models(rig.controller.get(), &WizardController::questionsModelChanged);
    QVERIFY(rig.run(steps));

    QuestionsModel *model = rig.controller->questionsModel();
    QVERIFY(model);
    QCOMPARE(rig.controller->screen(), Screen::Questions);
    QCOMPARE(model->gateway() ? model->gateway()->url : u"hosted"_s, identity);
    QCOMPARE(model == rig.marked, sameModel);
    QCOMPARE(models.last().at(0).value<QuestionsModel *>(), model);
    QCOMPARE(model->isHarnessSelected(u"plain"_s), toolKept);
    const bool privateGateway = identity != u"hosted";
    QCOMPARE(model->isPrivateGateway(), privateGateway);
    QCOMPARE(model->isFundingSelected(u"openai-proxy"_s, u"openai"_s), privateGateway);

    // A replaced model goes once the event loop has let go of it.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(rig.marked.isNull(), !sameModel);
}

void TestWizardController::desktopLaunches_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QString>("error"); // empty: none

    const auto row = [](const char *name, const char *steps, const char *log, bool busy,
                        const QString &error = {}) {
        QTest::newRow(name) << stepsOf(steps) << QString::fromUtf8(log).split(u',') << busy << error;
    };
    // clang-format off
    row("the launcher launches through the gateway", "claude", "launchClaudeDesktop(gateway)", true);
    row("another mode passes through", "native", "launchClaudeDesktop(native)", true);
    row("a second click while one runs is ignored", "claude claude opencode codex", "launchClaudeDesktop(gateway)", true);
    row("relaunch quits first", "codex!", "quit codex,launchCodexDesktop(gateway)", true);
    row("a relaunch while busy still quits", "opencode claude! codex!", "launchOpenCodeDesktop,quit claude,quit codex", true);
    row("done: the next launch runs", "codex ok:launchCodexDesktop opencode", "launchCodexDesktop(gateway),launchOpenCodeDesktop", true);
    row("success frees the buttons", "opencode ok:launchOpenCodeDesktop", "launchOpenCodeDesktop", false);
    row("a failure is shown and frees the buttons", "claude fail:launchClaudeDesktop", "launchClaudeDesktop(gateway)", false, boom);
    row("the failure stays while the next attempt runs", "claude fail:launchClaudeDesktop codex", "launchClaudeDesktop(gateway),launchCodexDesktop(gateway)", true, boom);
    row("a retry that succeeds clears it", "claude fail:launchClaudeDesktop claude ok:launchClaudeDesktop", "launchClaudeDesktop(gateway),launchClaudeDesktop(gateway)", false);
    // clang-format on
}

void TestWizardController::desktopLaunches()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, error);

    Rig rig;
    QVERIFY(rig.start(u"returning"_s));
    QVERIFY(rig.run(steps));
    QTEST(rig.launchLog(), "log");
    QTEST(rig.controller->desktopLaunchBusy(), "busy");
    QCOMPARE(rig.controller->launcherErrorText(),
             error.isEmpty() ? std::nullopt : std::optional(error));
    QCOMPARE(rig.controller->screen(), Screen::Launched);
}

void TestWizardController::terminal_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("hides");
    QTest::addColumn<QString>("launcherError"); // empty: none

    const QString failed = u"Terminal couldn\u2019t be opened."_s;
    const auto row = [](const char *name, const char *steps, int hides, const QString &error = {}) {
        QTest::newRow(name) << stepsOf(steps) << hides << error;
    };
    // clang-format off
    row("not hidden before 0.2 s", "terminal ok:openTerminal wait:199", 0);
    row("hidden 0.2 s after the terminal opened", "terminal ok:openTerminal wait:200", 1);
    row("hidden once", "terminal ok:openTerminal wait:5000", 1);
    row("the 0.2 s count from the opening, not the click", "terminal wait:1000 ok:openTerminal wait:199", 0);
    row("a failure is shown and nothing is hidden", "terminal fail:openTerminal wait:1000", 0, failed);
    row("the failure stays while the next attempt runs", "terminal fail:openTerminal terminal", 0, failed);
    row("a terminal that opens clears it", "terminal fail:openTerminal terminal ok:openTerminal", 0);
    row("the newest failure is shown: the terminal's", "claude fail:launchClaudeDesktop terminal fail:openTerminal", 0, failed);
    row("the newest failure is shown: the launch's", "terminal fail:openTerminal claude fail:launchClaudeDesktop", 0, boom);
    row("a launch that succeeds clears the terminal's", "terminal fail:openTerminal codex ok:launchCodexDesktop", 0);
    // clang-format on
}

void TestWizardController::terminal()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, launcherError);

    Rig rig;
    QVERIFY(rig.start(u"returning"_s));
    QSignalSpy hidden(rig.controller.get(), &WizardController::hideApplicationRequested);
    QVERIFY(rig.run(steps));
    QTEST(int(hidden.count()), "hides");
    QCOMPARE(rig.controller->launcherErrorText(),
             launcherError.isEmpty() ? std::nullopt : std::optional(launcherError));
    QCOMPARE(rig.controller->screen(), Screen::Launched);
}

void TestWizardController::delayedTerminalOutlivesTheLauncher()
{
    Rig rig;
    QVERIFY(rig.start(u"returning"_s));
    QSignalSpy hidden(rig.controller.get(), &WizardController::hideApplicationRequested);

    rig.controller->launchTerminalLater();
    rig.timers.advance(1500ms);
    rig.controller->launchTerminalLater();
    rig.controller->openSettings(); // the launcher is gone; its two calls are not
    QCOMPARE(rig.controller->screen(), Screen::Questions);

    rig.timers.advance(499ms);
    QCOMPARE(rig.engine.callCount(u"openTerminal"_s), 0);
    rig.timers.advance(1ms);
    QCOMPARE(rig.engine.callCount(u"openTerminal"_s), 1);
    QVERIFY(rig.engine.succeed(u"openTerminal"_s));

    rig.timers.advance(1500ms);
    QCOMPARE(rig.engine.callCount(u"openTerminal"_s), 2);
    QCOMPARE(hidden.count(), 1);

    // A pending call goes with the controller.
    rig.controller->launchTerminalLater();
    QCOMPARE(rig.timers.pendingCount(), 1);
    rig.controller.reset();
    QCOMPARE(rig.timers.pendingCount(), 0);
}

void TestWizardController::firstInstallation()
{
    Rig rig;
    QVERIFY(rig.start(u"first"_s));
    QCOMPARE(rig.controller->screen(), Screen::Welcome);
    rig.controller->getStarted();

    QuestionsModel *model = rig.controller->questionsModel();
    QVERIFY(model);
    QVERIFY(!model->isReturning());
    // The tool found on this machine is preselected.
    QCOMPARE(model->selectedHarnesses(), QSet<QString>{u"claude-code"_s});
    model->toggleHarness(u"codex"_s);
    for (const Manifest::ManifestField &field : model->fields(u"openai"_s))
        model->setFieldValue(field, u" sk-test \n"_s);
    QVERIFY(model->canSubmit());

    rig.controller->runInstall();
    const auto call = rig.engine.lastCall(u"runInstall"_s);
    QCOMPARE(call.packageSpec, packageSpec);
    QCOMPARE(call.answers.harnesses, (QStringList{u"claude-code"_s, u"codex"_s}));
    QCOMPARE(call.answers.fundingByGroup,
             (QMap<QString, QStringList>{{u"anthropic"_s, {u"subscription"_s}},
                                         {u"openai"_s, {u"openai"_s}}}));
    QCOMPARE(call.answers.fields, (FieldMap{{u"openaiKey"_s, u"sk-test"_s}}));
    QCOMPARE(rig.controller->launchedCommands(), QStringList{});

    // What the installer records is read again, and the versions with it.
    rig.setReturning({u"codex:openai"_s, u"plain"_s});
    QVERIFY(rig.engine.succeed(u"runInstall"_s));
    QCOMPARE(rig.controller->screen(), Screen::Complete);
    QVERIFY(rig.controller->isReturning());
    QCOMPARE(rig.controller->launchedCommands(), (QStringList{u"orv codex"_s, u"orv plain"_s}));
    QVERIFY(rig.engine.releaseVersionInfo(updatedVersions));
    QCOMPARE(rig.controller->versionInfo(), updatedVersions);
    rig.controller->openLauncher();
    QCOMPARE(rig.controller->screen(), Screen::Launched);
    QVERIFY(rig.engine.pending().isEmpty());
    // Settings start from the installation, not from the defaults.
    rig.controller->openSettings();
    QVERIFY(rig.controller->questionsModel()->isReturning());
    QCOMPARE(rig.controller->questionsModel()->selectedHarnesses(),
             (QSet<QString>{u"codex"_s, u"plain"_s}));
}

void TestWizardController::returningUserUpdatesAndUninstalls()
{
    Rig rig;
    QVERIFY(rig.start(u"returning"_s));
    QCOMPARE(rig.controller->screen(), Screen::Launched);
    QCOMPARE(rig.controller->launchedCommands(), (QStringList{u"orv claude"_s, u"orv codex"_s}));
    QCOMPARE(rig.controller->versionInfo(), firstVersions);
    QVERIFY(rig.controller->versionInfo().updateAvailable());

    // The settings start from what is installed.
    rig.controller->openSettings();
    QVERIFY(rig.controller->questionsModel()->isReturning());
    QVERIFY(rig.controller->questionsModel()->isFundingSelected(u"apikey"_s, u"claude"_s));
    rig.controller->questionsModel()->toggleHarness(u"codex"_s);
    QVERIFY(rig.run({u"fill"_s, u"install"_s}));
    rig.setReturning({u"claude-code:apikey"_s});
    QVERIFY(rig.run({u"ok:runInstall"_s, u"openLauncher"_s}));
    QVERIFY(rig.engine.releaseVersionInfo(firstVersions));
    QCOMPARE(rig.controller->launchedCommands(), QStringList{u"orv claude"_s});
    rig.setReturning({u"claude-code:apikey"_s, u"codex"_s}); // what the update will not read

    rig.controller->runUpdate();
    QCOMPARE(rig.engine.lastCall(u"runUpdate"_s).packageSpec, packageSpec);
    QVERIFY(rig.engine.succeed(u"runUpdate"_s));
    QVERIFY(rig.engine.releaseVersionInfo(updatedVersions));
    QCOMPARE(rig.controller->screen(), Screen::Launched);
    QCOMPARE(rig.controller->versionInfo(), updatedVersions);
    QCOMPARE(rig.controller->launchedCommands(), QStringList{u"orv claude"_s});
    // The update does not read the installed tools again.
    QCOMPARE(rig.engine.callCount(u"readExistingHarnesses"_s), 2);

    rig.controller->runUninstall();
    QCOMPARE(rig.engine.lastCall(u"runUninstall"_s).packageSpec, packageSpec);
    QVERIFY(rig.engine.succeed(u"runUninstall"_s));
    QCOMPARE(rig.controller->screen(), Screen::Welcome);
    QVERIFY(!rig.controller->isReturning());
    QVERIFY(rig.controller->existing().isEmpty());
    // What the launcher showed stays as it was.
    QCOMPARE(rig.controller->launchedCommands(), QStringList{u"orv claude"_s});
    QCOMPARE(rig.controller->versionInfo(), updatedVersions);

    rig.controller->getStarted();
    QVERIFY(!rig.controller->questionsModel()->isReturning());
    QCOMPARE(rig.controller->questionsModel()->selectedHarnesses(),
             QSet<QString>{u"claude-code"_s});
    QVERIFY(rig.engine.pending().isEmpty());
}

QTEST_GUILESS_MAIN(TestWizardController)
#include "tst_wizardcontroller.moc"

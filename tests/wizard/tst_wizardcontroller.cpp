// The wizard's flow over the scripted setup engine: every completion is released by the test,
// one at a time, and time moves only when the test moves the manual clock.

#include "QuestionsManifest.h"
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

#include <functional>

using Wizard::QuestionsModel;
using Wizard::WizardController;
using Screen = WizardController::Screen;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(Wizard::Failure)

namespace {

const QString packageSpec = u"orvane@9.9.9-test"_s;
const QString boom = u"npm ERR! boom"_s;

using QuestionsManifest::existingFrom;

// "a b c" as the list {a, b, c}.
QStringList stepsOf(const char *text)
{
    return QuestionsManifest::listOf(text, u' ');
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
    std::expected<Manifest::Resolved, Wizard::Failure> manifest =
        Manifest::Resolved{packageSpec, QuestionsManifest::manifest()};
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

    // One user action ("install") or engine answer ("ok:runInstall"); false when it could not
    // be carried out.
    [[nodiscard]] bool act(const QString &step)
    {
        const QString verb = step.section(u':', 0, 0), rest = step.section(u':', 1);
        WizardController &c = *controller;
        QuestionsModel *model = c.questionsModel();
        const auto gateway = Setup::DesktopLaunchMode::Gateway;
        const QMap<QString, std::function<bool()>> actions{
            {u"getStarted"_s, [&] { return c.getStarted(), true; }},
            {u"enterprise"_s, [&] { return c.openEnterpriseGateway(), true; }},
            {u"continue"_s, [&] { return c.continueEnterpriseGateway(u"https://gw.example"_s, u"me@example.com"_s), true; }},
            {u"cancel"_s, [&] { return c.cancelEnterpriseGateway(), true; }},
            {u"remove"_s, [&] { return c.removeEnterpriseGateway(), true; }},
            {u"leave"_s, [&] { return c.leaveQuestions(), true; }},
            {u"gone"_s, [&] { return setReturning({}), true; }}, // the installation record is no more
            {u"install"_s, [&] { return c.runInstall(), true; }},
            {u"update"_s, [&] { return c.runUpdate(), true; }},
            {u"uninstall"_s, [&] { return c.runUninstall(), true; }},
            {u"openLauncher"_s, [&] { return c.openLauncher(), true; }},
            {u"settings"_s, [&] { return c.openSettings(), true; }},
            {u"retry"_s, [&] { return c.retry(), true; }},
            {u"recheck"_s, [&] { return c.recheck(), true; }},
            {u"claude"_s, [&] { return c.launchClaudeDesktop(gateway, false), true; }},
            {u"claude!"_s, [&] { return c.launchClaudeDesktop(gateway, true), true; }},
            {u"codex"_s, [&] { return c.launchCodexDesktop(gateway, false), true; }},
            {u"codex!"_s, [&] { return c.launchCodexDesktop(gateway, true), true; }},
            {u"opencode"_s, [&] { return c.launchOpenCodeDesktop(), true; }},
            {u"native"_s, [&] { return c.launchClaudeDesktop(Setup::DesktopLaunchMode::Native, false), true; }},
            {u"terminal"_s, [&] { return c.launchTerminal(), true; }},
            {u"later"_s, [&] { return c.launchTerminalLater(), true; }},
            {u"versions"_s, [&] { return engine.releaseVersionInfo(updatedVersions); }},
            {u"ok"_s, [&] { return engine.succeed(rest); }},
            {u"fail"_s, [&] { return engine.fail(rest, Setup::SetupError::exitedWithStatus(1, boom)); }},
            {u"silent"_s, [&] { return engine.fail(rest, Setup::SetupError::exitedWithStatus(1, {})); }},
            {u"wait"_s, [&] { return timers.advance(std::chrono::milliseconds(rest.toInt())), true; }},
            // Remembers the questions and changes a choice in them.
            {u"mark"_s, [&] { return (marked = model) && (model->toggleHarness(u"plain"_s), true); }},
            // Every field asked for, with a key both groups' prefixes accept.
            {u"fill"_s, [&] {
                 for (const QString &group : model ? model->activeFundingGroups() : QStringList())
                     for (const Manifest::ManifestField &field : model->fields(group))
                         model->setFieldValue(field, u"sk-ant-1"_s);
                 return model != nullptr;
             }},
            {u"untick"_s, [&] { return model && (model->toggleHarness(u"claude-code"_s), true); }}};
        const auto action = actions.find(verb);
        return action != actions.end() && (*action)();
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

    // The launches, quit requests and terminals the engine saw, in order:
    // "launchClaudeDesktop(gateway)", "quit Codex", "openTerminal", ...
    QStringList launchLog() const
    {
        QStringList log;
        for (const auto &call : engine.calls) {
            if (call.operation == u"terminateDesktopApp")
                log.append(u"quit "_s + Setup::applicationNames(*call.app).first());
            else if (call.operation.startsWith(u"launch") || call.operation == u"openTerminal")
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
    void transitions_data();
    void transitions();
    void describe_data();
    void describe();
    void questionsModelLifetime_data();
    void questionsModelLifetime();
    void launches_data();
    void launches();
    void installationIsReadAgain();
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
    QCOMPARE(rig.controller->detected().size(), 1);
    QCOMPARE(rig.controller->detected().first().id, u"claude-code"_s);
    QCOMPARE(rig.controller->existing(), existingFrom(existing));
    QCOMPARE(rig.controller->isReturning(), !existing.isEmpty());
    QCOMPARE(rig.controller->launchedCommands(), commands);

    const auto nodeVersion = node ? std::optional(u"v22.1.0"_s) : std::nullopt;
    const auto answerNode = [&] { return rig.engine.releaseNodeVersion(nodeVersion); };
    const auto answerVersions = [&] { return rig.engine.releaseVersionInfo(firstVersions); };
    QVERIFY(nodeAnswersFirst ? answerNode() : answerVersions());
    QCOMPARE(rig.controller->screen(), Screen::Loading);
    QCOMPARE(screens.count(), 0);
    QVERIFY(nodeAnswersFirst ? answerVersions() : answerNode());
    QCOMPARE(rig.controller->screen(), screen);
    QCOMPARE(screens.count(), 1);
    QCOMPARE(rig.controller->versionInfo(), firstVersions);
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
    row("questions: Have an Enterprise Gateway?", "first", "getStarted enterprise", Screen::Enterprise);
    row("questions: no install without a tool", "first", "getStarted untick install", Screen::Questions);
    row("install succeeds", "first", "getStarted install ok:runInstall", Screen::Complete);
    row("install fails", "first", "getStarted install fail:runInstall", Screen::Failed, "Installing", boom);
    row("complete: Open Launcher", "first", "getStarted install ok:runInstall openLauncher", Screen::Launched);
    row("update done, new versions still awaited", "returning", "update ok:runUpdate", Screen::Installing, "Updating");
    row("update succeeds", "returning", "update ok:runUpdate versions", Screen::Launched, "Updating");
    row("update fails", "returning", "update fail:runUpdate", Screen::Failed, "Updating", boom);
    row("update fails silently", "returning", "update silent:runUpdate", Screen::Failed, "Updating", u"Update didn't finish. You can try again."_s);
    row("launched: uninstall runs", "returning", "uninstall", Screen::Installing, "Uninstalling");
    row("uninstall succeeds", "returning", "uninstall ok:runUninstall", Screen::Welcome, "Uninstalling");
    row("uninstall fails", "returning", "uninstall fail:runUninstall", Screen::Failed, "Uninstalling", boom);
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
    row("actions a screen does not offer do nothing", "first", "retry recheck openLauncher update uninstall settings install cancel", Screen::Welcome);
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
    QVERIFY(!rig.controller->checkingNode()); // a recheck only from the Node.js screen
}

void TestWizardController::describe_data()
{
    QTest::addColumn<Wizard::Failure>("failure");
    QTest::addColumn<QString>("text");

    const auto exit = [](const QString &output) {
        return Wizard::Failure(Setup::SetupFailure(Setup::SetupError::exitedWithStatus(1, output)));
    };
    const auto platform = [](const char *operation) {
        return Wizard::Failure(Setup::SetupFailure(Setup::PlatformError{
            QString::fromLatin1(operation), u"/tmp/gone"_s, u"No such file or directory"_s}));
    };
    // clang-format off
    QTest::newRow("the installer's last line") << exit(u"step 1\nstep 2\nnpm ERR! 404"_s) << u"npm ERR! 404"_s;
    QTest::newRow("a message then empty lines, alone") << exit(u"Error: no network\n\n\n"_s) << u"Error: no network"_s;
    QTest::newRow("blank but not empty lines count") << exit(u"Error\n  "_s) << u"  "_s;
    QTest::newRow("line feeds only: the whole output") << exit(u"\n\n"_s) << u"\n\n"_s;
    QTest::newRow("empty output") << exit(QString()) << u"Done. You can try again."_s;
    QTest::newRow("script missing") << Wizard::Failure(Setup::SetupFailure(Setup::SetupError::scriptMissing())) << u"Done. You can try again."_s;
    QTest::newRow("a platform error") << platform("launch") << u"Done. You can try again."_s;
    QTest::newRow("the temporary folder missing") << platform(Setup::missingFolderOperation) << u"Done. The temporary folder /tmp/gone is missing."_s;
    QTest::newRow("anything else") << Wizard::Failure(Wizard::OtherError{}) << u"Done. You can try again."_s;
    QTest::newRow("a manifest this program cannot read") << Wizard::Failure(Manifest::ManifestError::unsupportedSchema(7)) << Manifest::ManifestError::unsupportedSchema(7).description();
    // clang-format on
}

void TestWizardController::describe()
{
    QFETCH(Wizard::Failure, failure);
    QFETCH(QString, text);
    QCOMPARE(Wizard::describe(failure, u"Done."_s), text);
    // A manifest the program cannot read stops it at the start.
    if (std::holds_alternative<Manifest::ManifestError>(failure)) {
        Rig rig;
        rig.manifest = std::unexpected(failure);
        rig.controller->preflight();
        QCOMPARE(rig.controller->screen(), Screen::Failed);
        QCOMPARE(rig.controller->errorText(), text);
    }
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

    // A replaced model goes once the event loop has let go of it.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(rig.marked.isNull(), !sameModel);
}

void TestWizardController::launches_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("log"); // what the engine was asked to launch, quit and open
    QTest::addColumn<bool>("busy");   // a desktop launch runs
    QTest::addColumn<int>("hides");
    QTest::addColumn<QString>("error"); // the launcher's; empty: none

    const QString failed = u"Terminal couldn\u2019t be opened."_s;
    const auto row = [](const char *name, const char *steps, const char *log, bool busy, int hides,
                        const QString &error = {}) {
        QTest::newRow(name) << stepsOf(steps) << QString::fromUtf8(log) << busy << hides << error;
    };
    // clang-format off
    row("the launcher launches through the gateway", "claude", "launchClaudeDesktop(gateway)", true, 0);
    row("another mode passes through", "native", "launchClaudeDesktop(native)", true, 0);
    row("a second click while one runs is ignored", "claude claude opencode codex", "launchClaudeDesktop(gateway)", true, 0);
    row("relaunch quits first", "codex!", "quit Codex,launchCodexDesktop(gateway)", true, 0);
    row("a relaunch while busy still quits", "opencode claude! codex!", "launchOpenCodeDesktop,quit Claude,quit Codex", true, 0);
    row("a failure is shown and frees the buttons", "claude fail:launchClaudeDesktop", "launchClaudeDesktop(gateway)", false, 0, boom);
    row("a silent failure says which", "codex silent:launchCodexDesktop", "launchCodexDesktop(gateway)", false, 0, u"Codex Desktop couldn't be launched. You can try again."_s);
    row("the failure stays while the next attempt runs", "claude fail:launchClaudeDesktop codex", "launchClaudeDesktop(gateway),launchCodexDesktop(gateway)", true, 0, boom);
    row("a retry that succeeds clears it", "claude fail:launchClaudeDesktop claude ok:launchClaudeDesktop", "launchClaudeDesktop(gateway),launchClaudeDesktop(gateway)", false, 0);
    row("a terminal: not hidden before 0.2 s", "terminal ok:openTerminal wait:199", "openTerminal", false, 0);
    row("hidden 0.2 s after the terminal opened", "terminal ok:openTerminal wait:200", "openTerminal", false, 1);
    row("the 0.2 s count from the opening, not the click", "terminal wait:1000 ok:openTerminal wait:199", "openTerminal", false, 0);
    row("a terminal's failure is shown and nothing is hidden", "terminal fail:openTerminal wait:1000", "openTerminal", false, 0, failed);
    row("a terminal's failure stays while the next one runs", "terminal fail:openTerminal terminal", "openTerminal,openTerminal", false, 0, failed);
    row("a terminal that opens clears it", "terminal fail:openTerminal terminal ok:openTerminal", "openTerminal,openTerminal", false, 0);
    row("the newest failure is shown: the terminal's", "claude fail:launchClaudeDesktop terminal fail:openTerminal", "launchClaudeDesktop(gateway),openTerminal", false, 0, failed);
    row("a launch that succeeds clears the terminal's", "terminal fail:openTerminal codex ok:launchCodexDesktop", "openTerminal,launchCodexDesktop(gateway)", false, 0);
    row("a later terminal waits two seconds", "later wait:1999", "", false, 0);
    row("the launcher left meanwhile", "later wait:1000 later settings leave wait:1000 ok:openTerminal wait:999", "openTerminal", false, 1);
    // clang-format on
}

void TestWizardController::launches()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, error);

    Rig rig;
    QVERIFY(rig.start(u"returning"_s));
    QSignalSpy hidden(rig.controller.get(), &WizardController::hideApplicationRequested);
    QVERIFY(rig.run(steps));
    QTEST(rig.launchLog().join(u','), "log");
    QTEST(rig.controller->desktopLaunchBusy(), "busy");
    QTEST(int(hidden.count()), "hides");
    QCOMPARE(rig.controller->launcherErrorText(),
             error.isEmpty() ? std::nullopt : std::optional(error));
    QCOMPARE(rig.controller->screen(), Screen::Launched);
    // What is still to come goes with the controller.
    rig.controller.reset();
    QCOMPARE(rig.timers.pendingCount(), 0);
}

// What the installer records is read again after an install, not after an update; settings
// start from it, and an uninstall forgets it.
void TestWizardController::installationIsReadAgain()
{
    Rig rig;
    QVERIFY(rig.start(u"first"_s));
    rig.controller->getStarted();
    QuestionsModel *model = rig.controller->questionsModel();
    QVERIFY(!model->isReturning());
    // The tool found on this machine is preselected.
    QCOMPARE(model->selectedHarnesses(), QSet<QString>{u"claude-code"_s});
    QVERIFY(rig.run({u"install"_s}));
    // The model's answers go to the installer as they are: nothing is added on the way.
    QCOMPARE(rig.engine.lastCall(u"runInstall"_s).answers, model->answers());
    QCOMPARE(rig.engine.lastCall(u"runInstall"_s).packageSpec, packageSpec);

    rig.setReturning({u"codex:openai"_s, u"plain"_s});
    QVERIFY(rig.engine.succeed(u"runInstall"_s));
    QCOMPARE(rig.controller->screen(), Screen::Complete);
    QVERIFY(rig.controller->isReturning());
    QCOMPARE(rig.controller->launchedCommands(), (QStringList{u"orv codex"_s, u"orv plain"_s}));
    QVERIFY(rig.engine.releaseVersionInfo(updatedVersions));
    QCOMPARE(rig.controller->versionInfo(), updatedVersions);
    rig.controller->openLauncher();
    rig.controller->openSettings();
    QVERIFY(rig.controller->questionsModel()->isReturning());
    QVERIFY(rig.controller->questionsModel()->isFundingSelected(u"openai"_s, u"openai"_s));
    QCOMPARE(rig.controller->questionsModel()->selectedHarnesses(),
             (QSet<QString>{u"codex"_s, u"plain"_s}));
    rig.controller->leaveQuestions();

    rig.setReturning({u"claude-code:apikey"_s}); // what the update will not read
    QVERIFY(rig.run({u"update"_s, u"ok:runUpdate"_s, u"versions"_s}));
    QCOMPARE(rig.engine.lastCall(u"runUpdate"_s).packageSpec, packageSpec);
    QCOMPARE(rig.controller->launchedCommands(), (QStringList{u"orv codex"_s, u"orv plain"_s}));
    QCOMPARE(rig.engine.callCount(u"readExistingHarnesses"_s), 1);

    QVERIFY(rig.run({u"uninstall"_s, u"ok:runUninstall"_s}));
    QCOMPARE(rig.engine.lastCall(u"runUninstall"_s).packageSpec, packageSpec);
    QVERIFY(!rig.controller->isReturning());
    QVERIFY(rig.controller->existing().isEmpty());
    // What the launcher showed stays as it was.
    QCOMPARE(rig.controller->launchedCommands(), (QStringList{u"orv codex"_s, u"orv plain"_s}));
    rig.controller->getStarted();
    QVERIFY(!rig.controller->questionsModel()->isReturning());
    QCOMPARE(rig.controller->questionsModel()->selectedHarnesses(), QSet<QString>{u"claude-code"_s});
    QVERIFY(rig.engine.pending().isEmpty());
}

QTEST_GUILESS_MAIN(TestWizardController)
#include "tst_wizardcontroller.moc"

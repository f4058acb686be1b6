#include "wizard/WizardController.h"

#include "manifest/ManifestLoader.h"
#include "platform/Timers.h"
#include "wizard/Log.h"
#include "wizard/QuestionsModel.h"
#include "wizard/TextTrimming.h"

#include <QMetaEnum>
#include <QSet>

namespace Wizard {

using namespace std::chrono_literals;

namespace {

const QString installFallback = QStringLiteral("Setup didn't finish.");
const QString updateFallback = QStringLiteral("Update didn't finish.");
const QString uninstallFallback = QStringLiteral("Uninstall didn't finish.");
const QString claudeFallback = QStringLiteral("Claude Desktop couldn't be launched.");
const QString codexFallback = QStringLiteral("Codex Desktop couldn't be launched.");
const QString openCodeFallback = QStringLiteral("OpenCode couldn't be launched.");
// Typographic apostrophe here, straight ones above: each as the user has always seen it.
const QString terminalFailure = QStringLiteral("Terminal couldn\u2019t be opened.");

// Long enough for the terminal's window to appear before this one gets out of its way.
constexpr auto hideDelay = 200ms;
// Long enough to read the command card before the terminal takes the front.
constexpr auto terminalDelay = 2s;

} // namespace

// One start-up check: it may end only when both Node.js and the versions have answered.
struct WizardController::PreflightRun
{
    std::optional<std::optional<QString>> node; // set once detection has answered
    bool versionsKnown = false;
};

QString WizardController::checkingText()
{
    return QStringLiteral("Checking for the latest setup\u2026");
}

WizardController::WizardController(Setup::SetupEngine &engine, ManifestSource loadManifest,
                                   Platform::Timers &timers, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_loadManifest(std::move(loadManifest))
    , m_timers(timers)
    , m_statusText(QStringLiteral("Installing\u2026"))
{}

WizardController::~WizardController() = default;

const Manifest::InstallManifest &WizardController::manifest() const
{
    static const Manifest::InstallManifest none;
    return m_resolved ? m_resolved->manifest : none;
}

QString WizardController::packageSpec() const
{
    return m_resolved ? m_resolved->packageSpec : Manifest::ManifestLoader::packageSpec();
}

QStringList WizardController::commands(const QStringList &harnessIds) const
{
    const QSet<QString> wanted(harnessIds.begin(), harnessIds.end());
    QStringList commands;
    for (const Manifest::ManifestHarness &harness : manifest().harnesses)
        if (harness.orvCommand && wanted.contains(harness.id))
            commands.append(*harness.orvCommand);
    return commands;
}

bool WizardController::isDesktopAppRunning(Setup::DesktopApp app) const
{
    return m_engine.isDesktopAppRunning(app);
}

// --- The start-up check ---

void WizardController::preflight()
{
    auto run = std::make_shared<PreflightRun>();
    QPointer<WizardController> self(this);

    // The probe runs in the login shell while the rest is read here.
    m_engine.nodeVersion([self, run](Setup::SetupResult<std::optional<QString>> result) {
        if (!result)
            qCWarning(lcWizard, "Node.js could not be looked for (%s); taken as missing",
                      qUtf8Printable(logDescription(result.error())));
        run->node = result ? *result : std::nullopt;
        if (self)
            self->finishPreflight(run);
    });

    std::expected<Manifest::Resolved, Failure> loaded = std::unexpected(OtherError{});
    if (m_loadManifest)
        loaded = m_loadManifest();
    if (!loaded) {
        m_resolved.reset();
        setCheckingNode(false);
        fail(Operation::StartUp, loaded.error(), installFallback);
        return;
    }
    m_resolved = std::move(*loaded);

    m_detected.clear();
    for (const Manifest::ManifestHarness &harness : manifest().harnesses)
        if (harness.isDetected())
            m_detected.append(harness);

    readInstallation();

    m_engine.versionInfo([self, run](Setup::SetupResult<Setup::VersionInfo> result) {
        if (!self)
            return;
        self->setVersionInfo(result);
        run->versionsKnown = true;
        self->finishPreflight(run);
    });
}

void WizardController::finishPreflight(const std::shared_ptr<PreflightRun> &run)
{
    if (!run->versionsKnown || !run->node)
        return;
    qCDebug(lcWizard, "Start-up check done: Node.js %s, %s",
            qUtf8Printable(run->node->value_or(QStringLiteral("missing"))),
            m_isReturning ? "installed before" : "not installed");
    setCheckingNode(false);
    if (!*run->node)
        setScreen(Screen::NoNode);
    else
        setScreen(m_isReturning ? Screen::Launched : Screen::Welcome);
}

void WizardController::recheck()
{
    if (m_screen != Screen::NoNode)
        return;
    if (!m_rechecked) {
        m_rechecked = true;
        Q_EMIT recheckedChanged(true);
    }
    setCheckingNode(true);
    preflight();
}

// --- Navigation ---

void WizardController::getStarted()
{
    if (m_screen != Screen::Welcome)
        return;
    m_questionsFromLauncher = false;
    enterQuestions(true, gateway());
}

void WizardController::openEnterpriseGateway()
{
    if (m_screen == Screen::Questions)
        setScreen(Screen::Enterprise);
}

void WizardController::continueEnterpriseGateway(const QString &url, const QString &email)
{
    if (m_screen != Screen::Enterprise || !enterpriseFormCanContinue(url, email))
        return;
    enterQuestions(true, EnterpriseGateway{trimSpacesAndTabs(url), trimSpacesAndTabs(email)},
                   true);
}

void WizardController::cancelEnterpriseGateway()
{
    if (m_screen == Screen::Enterprise)
        enterQuestions(false, gateway());
}

void WizardController::removeEnterpriseGateway()
{
    if (m_screen == Screen::Questions && gateway())
        enterQuestions(true, std::nullopt, true);
}

void WizardController::openLauncher()
{
    if (m_screen == Screen::Complete)
        setScreen(Screen::Launched);
}

void WizardController::openSettings()
{
    if (m_screen != Screen::Launched)
        return;
    m_questionsFromLauncher = true;
    enterQuestions(true, gateway());
}

void WizardController::leaveQuestions()
{
    if (m_screen == Screen::Questions && m_questionsFromLauncher)
        setScreen(Screen::Launched);
}

void WizardController::retry()
{
    if (m_screen != Screen::Failed)
        return;
    switch (m_failed) {
    case Operation::Install:
        // What was typed is still in the model, keys included; it never left memory but for
        // the answers file the installer read.
        if (m_questionsModel)
            return enterQuestions(false, gateway());
        break;
    case Operation::Uninstall:
        // A failed uninstall may have removed some of the installation, or all of it.
        readInstallation();
        if (m_isReturning)
            return setScreen(Screen::Launched);
        break;
    case Operation::StartUp:
    case Operation::Update:
        break;
    }
    setScreen(Screen::Welcome);
}

void WizardController::enterQuestions(bool fresh, const std::optional<EnterpriseGateway> &gateway,
                                      bool keepTools)
{
    if (fresh || !m_questionsModel) {
        QuestionsModel *previous = m_questionsModel.data();
        m_questionsModel = new QuestionsModel(manifest(), m_detected, m_existing, gateway, this);
        if (previous) {
            if (keepTools)
                m_questionsModel->setSelectedHarnesses(previous->selectedHarnesses());
            previous->deleteLater();
        }
        qCDebug(lcWizard, "Fresh questions, for %s",
                gateway ? "an enterprise gateway" : "the hosted gateway");
        Q_EMIT questionsModelChanged(m_questionsModel);
    }
    setScreen(Screen::Questions);
}

std::optional<EnterpriseGateway> WizardController::gateway() const
{
    // A plain pointer checked once: the optimiser cannot prove a QPointer stays non-null.
    if (const QuestionsModel *model = m_questionsModel.data())
        return model->gateway();
    return std::nullopt;
}

// --- Install, update, uninstall ---

void WizardController::runInstall()
{
    if (m_screen != Screen::Questions || !m_questionsModel || !m_questionsModel->canSubmit())
        return;
    const Setup::InstallAnswers answers = m_questionsModel->answers();
    setStatusText(m_isReturning ? QStringLiteral("Updating\u2026")
                                : QStringLiteral("Installing\u2026"));
    setScreen(Screen::Installing);

    qCDebug(lcWizard, "Install of %s started", qUtf8Printable(packageSpec()));
    QPointer<WizardController> self(this);
    m_engine.runInstall(answers, packageSpec(),
                        [self, harnesses = answers.harnesses](Setup::SetupResult<void> result) {
                            // A plain pointer checked once: the optimiser cannot prove a
                            // QPointer stays non-null.
                            WizardController *controller = self.data();
                            if (!controller)
                                return;
                            if (!result)
                                return controller->fail(Operation::Install, result.error(),
                                                        installFallback);
                            controller->finishInstall(harnesses);
                        });
}

void WizardController::finishInstall(const QStringList &harnesses)
{
    qCDebug(lcWizard, "Install finished");
    // What the installer recorded is what the launcher and the next questions show; the
    // answers stand in only when it recorded nothing.
    readInstallation();
    if (!m_isReturning)
        setLaunchedCommands(commands(harnesses));
    setScreen(Screen::Complete);
    QPointer<WizardController> self(this);
    m_engine.versionInfo([self](Setup::SetupResult<Setup::VersionInfo> versions) {
        if (WizardController *controller = self.data())
            controller->setVersionInfo(versions);
    });
}

void WizardController::runUpdate()
{
    if (m_screen != Screen::Launched)
        return;
    setStatusText(QStringLiteral("Updating\u2026"));
    setScreen(Screen::Installing);
    qCDebug(lcWizard, "Update to %s started", qUtf8Printable(packageSpec()));
    QPointer<WizardController> self(this);
    m_engine.runUpdate(packageSpec(), [self](Setup::SetupResult<void> result) {
        // A plain pointer checked once: the optimiser cannot prove a QPointer stays non-null.
        WizardController *controller = self.data();
        if (!controller)
            return;
        if (!result)
            return controller->fail(Operation::Update, result.error(), updateFallback);
        qCDebug(lcWizard, "Update finished");
        controller->m_engine.versionInfo([self](Setup::SetupResult<Setup::VersionInfo> versions) {
            if (!self)
                return;
            self->setVersionInfo(versions);
            self->setLaunchedCommands(self->commands(self->existingIds()));
            self->setScreen(Screen::Launched);
        });
    });
}

void WizardController::runUninstall()
{
    if (m_screen != Screen::Launched)
        return;
    setStatusText(QStringLiteral("Uninstalling\u2026"));
    setScreen(Screen::Installing);
    qCDebug(lcWizard, "Uninstall started");
    QPointer<WizardController> self(this);
    m_engine.runUninstall(packageSpec(), [self](Setup::SetupResult<void> result) {
        // A plain pointer checked once: the optimiser cannot prove a QPointer stays non-null.
        WizardController *controller = self.data();
        if (!controller)
            return;
        if (!result)
            return controller->fail(Operation::Uninstall, result.error(), uninstallFallback);
        qCDebug(lcWizard, "Uninstall finished");
        controller->m_isReturning = false;
        controller->m_existing.clear();
        controller->setScreen(Screen::Welcome);
    });
}

void WizardController::fail(Operation operation, const Failure &failure, const QString &fallback)
{
    static constexpr const char *names[] = {"The start-up check", "Install", "Update",
                                            "Uninstall"};
    qCWarning(lcWizard, "%s failed: %s", names[int(operation)],
              qUtf8Printable(logDescription(failure)));
    m_failed = operation;
    setErrorText(describe(failure, fallback));
    setScreen(Screen::Failed);
}

void WizardController::readInstallation()
{
    m_isReturning = m_engine.hasExistingInstall();
    m_existing = m_isReturning ? m_engine.readExistingHarnesses() : QList<Setup::ExistingHarness>{};
    setLaunchedCommands(commands(existingIds()));
}

// --- Launches ---

void WizardController::launchClaudeDesktop(Setup::DesktopLaunchMode mode, bool relaunch)
{
    // Quitting the running copy is not held back by a launch in progress.
    if (relaunch)
        terminateDesktopApp(Setup::DesktopApp::Claude);
    launchDesktop(claudeFallback, [this, mode](Setup::Completion<void> done) {
        m_engine.launchClaudeDesktop(mode, std::move(done));
    });
}

void WizardController::launchCodexDesktop(Setup::DesktopLaunchMode mode, bool relaunch)
{
    if (relaunch)
        terminateDesktopApp(Setup::DesktopApp::Codex);
    launchDesktop(codexFallback, [this, mode](Setup::Completion<void> done) {
        m_engine.launchCodexDesktop(mode, std::move(done));
    });
}

void WizardController::launchOpenCodeDesktop()
{
    launchDesktop(openCodeFallback, [this](Setup::Completion<void> done) {
        m_engine.launchOpenCodeDesktop(std::move(done));
    });
}

void WizardController::launchDesktop(const QString &fallback,
                                     const std::function<void(Setup::Completion<void>)> &operation)
{
    if (m_desktopLaunchBusy)
        return;
    setDesktopLaunchBusy(true);
    QPointer<WizardController> self(this);
    operation([self, fallback](Setup::SetupResult<void> result) {
        if (!self)
            return;
        if (result) {
            self->setLauncherError(std::nullopt);
        } else {
            qCWarning(lcWizard, "%s (%s)", qUtf8Printable(fallback),
                      qUtf8Printable(logDescription(result.error())));
            self->setLauncherError(describe(result.error(), fallback));
        }
        self->setDesktopLaunchBusy(false);
    });
}

void WizardController::terminateDesktopApp(Setup::DesktopApp app)
{
    m_engine.terminateDesktopApp(app);
}

void WizardController::launchTerminal()
{
    QPointer<WizardController> self(this);
    m_engine.openTerminal([self](Setup::SetupResult<void> result) {
        if (!self)
            return;
        if (!result) {
            qCWarning(lcWizard, "%s (%s)", qUtf8Printable(terminalFailure),
                      qUtf8Printable(logDescription(result.error())));
            return self->setLauncherError(terminalFailure);
        }
        self->setLauncherError(std::nullopt);
        self->schedule(hideDelay, [self] {
            if (self)
                Q_EMIT self->hideApplicationRequested();
        });
    });
}

void WizardController::launchTerminalLater()
{
    schedule(terminalDelay, [this] { launchTerminal(); });
}

void WizardController::schedule(std::chrono::milliseconds delay, std::function<void()> action)
{
    // Handles of timers that have fired are dropped here, but never while one of them is still
    // running its action.
    if (m_firingTimers == 0)
        std::erase_if(m_timerHandles, [](const auto &handle) { return !handle->isActive(); });
    m_timerHandles.push_back(m_timers.singleShot(delay, [this, action = std::move(action)] {
        ++m_firingTimers;
        action();
        --m_firingTimers;
    }));
}

// --- Setters that announce real changes only ---

void WizardController::setScreen(Screen screen)
{
    if (screen == m_screen)
        return;
    m_screen = screen;
    qCDebug(lcWizard, "Screen: %s", QMetaEnum::fromType<Screen>().valueToKey(int(screen)));
    Q_EMIT screenChanged(screen);
}

void WizardController::setStatusText(const QString &text)
{
    if (text == m_statusText)
        return;
    m_statusText = text;
    Q_EMIT statusTextChanged(text);
}

void WizardController::setErrorText(const QString &text)
{
    if (text == m_errorText)
        return;
    m_errorText = text;
    Q_EMIT errorTextChanged(text);
}

void WizardController::setLaunchedCommands(const QStringList &commands)
{
    if (commands == m_launchedCommands)
        return;
    m_launchedCommands = commands;
    Q_EMIT launchedCommandsChanged(commands);
}

void WizardController::setVersionInfo(const Setup::SetupResult<Setup::VersionInfo> &result)
{
    if (!result)
        qCWarning(lcWizard, "The router's versions could not be read (%s); shown as unknown",
                  qUtf8Printable(logDescription(result.error())));
    const Setup::VersionInfo info = result.value_or(Setup::VersionInfo{});
    if (info == m_versionInfo)
        return;
    m_versionInfo = info;
    Q_EMIT versionInfoChanged();
}

void WizardController::setDesktopLaunchBusy(bool busy)
{
    if (busy == m_desktopLaunchBusy)
        return;
    m_desktopLaunchBusy = busy;
    Q_EMIT desktopLaunchBusyChanged(busy);
}

void WizardController::setCheckingNode(bool checking)
{
    if (checking == m_checkingNode)
        return;
    m_checkingNode = checking;
    Q_EMIT checkingNodeChanged(checking);
}

void WizardController::setLauncherError(const std::optional<QString> &error)
{
    if (error == m_launcherError)
        return;
    m_launcherError = error;
    Q_EMIT launcherErrorTextChanged();
}

QStringList WizardController::existingIds() const
{
    QStringList ids;
    for (const Setup::ExistingHarness &harness : m_existing)
        ids.append(harness.id);
    return ids;
}

} // namespace Wizard

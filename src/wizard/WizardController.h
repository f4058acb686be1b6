#pragma once

#include "manifest/ManifestHarness.h"
#include "manifest/Resolved.h"
#include "setup/SetupEngine.h"
#include "wizard/ErrorDescription.h"
#include "wizard/QuestionsModel.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace Platform {
class TimerHandle;
class Timers;
} // namespace Platform

namespace Wizard {

// Where the wizard gets its manifest and package specifier at each start-up check. The application
// hands in the manifest it read at start; a source that fails ends the check on the failure
// screen with the error's description.
using ManifestSource = std::function<std::expected<Manifest::Resolved, Failure>()>;

// The setup window's state and every action its screens offer: the start-up check, the
// questions, install, update and uninstall, the enterprise gateway, and launching the desktop
// applications and a terminal. Screens render its properties and call its slots; it reaches the
// outside world only through the setup engine and the timers it is given.
//
// Main thread only. Every change signal is emitted only when its value really changed, after
// the new value is in place. Operations started by an action run to their end even when the
// user has moved on; their outcome is applied when they end.
class WizardController : public QObject
{
    Q_OBJECT

public:
    // The screen the setup window shows.
    enum class Screen
    {
        Loading,    // the progress screen reading "Checking for the latest setup…"
        Welcome,    // first run, after an uninstall, or after "Try again"
        Enterprise, // the enterprise gateway form
        NoNode,     // Node.js was not found in the login shell
        Questions,  // tools, funding and fields, from questionsModel()
        Installing, // the progress screen reading statusText()
        Complete,   // an install succeeded
        Launched,   // the launcher: launchedCommands(), versionInfo(), launches, update
        Failed      // errorText() with "Try again"
    };
    Q_ENUM(Screen)

    // The progress screen's text while the start-up check runs.
    static QString checkingText();

    // Nothing happens until preflight() is called. `engine` and `timers` must outlive the
    // controller.
    WizardController(Setup::SetupEngine &engine, ManifestSource loadManifest,
                     Platform::Timers &timers, QObject *parent = nullptr);
    ~WizardController() override;

    // --- State shown by the screens ---

    Screen screen() const { return m_screen; }

    // The manifest and package specifier of the last start-up check; absent before it and when the
    // source failed.
    const std::optional<Manifest::Resolved> &resolved() const { return m_resolved; }
    // The manifest the questions and commands come from (empty until one has been read).
    const Manifest::InstallManifest &manifest() const;
    // The package install, update and uninstall run: the resolved one, else "orvane@latest".
    QString packageSpec() const;

    // The manifest's harnesses found on this machine, in manifest order.
    const QList<Manifest::ManifestHarness> &detected() const { return m_detected; }
    // The harnesses of the earlier installation (empty when there is none).
    const QList<Setup::ExistingHarness> &existing() const { return m_existing; }
    bool isReturning() const { return m_isReturning; }
    // "Check again" was clicked at least once (the Node.js screen then says so).
    bool rechecked() const { return m_rechecked; }
    // A check started by "Check again" is running (its button waits, a spinner turns).
    bool checkingNode() const { return m_checkingNode; }

    // The model of the questions screen, which holds every answer, the enterprise gateway
    // included; null until the questions are first entered. A new model (announced by
    // questionsModelChanged) means the questions start again at their first step. The
    // controller owns it; a replaced model is deleted later, from the event loop, so a screen
    // still holding it may finish what it was doing.
    QuestionsModel *questionsModel() const { return m_questionsModel; }
    // The questions were opened from the launcher: their first step leads back to it.
    bool questionsLeadToLauncher() const { return m_questionsFromLauncher; }

    QString statusText() const { return m_statusText; }
    QString errorText() const { return m_errorText; }
    QStringList launchedCommands() const { return m_launchedCommands; }
    const Setup::VersionInfo &versionInfo() const { return m_versionInfo; }

    // A desktop application launch is running; the launcher disables its launch buttons.
    bool desktopLaunchBusy() const { return m_desktopLaunchBusy; }
    // The launcher's error line: the most recent failure of a desktop launch or of a terminal,
    // until the next launch or terminal succeeds.
    const std::optional<QString> &launcherErrorText() const { return m_launcherError; }

    // The router commands of the manifest's harnesses whose id is among `harnessIds`, in
    // manifest order, each harness once; harnesses without a command and unknown ids give none.
    QStringList commands(const QStringList &harnessIds) const;

    // Whether a copy of `app` runs now (asked by the launcher before a launch).
    bool isDesktopAppRunning(Setup::DesktopApp app) const;

public Q_SLOTS:
    // Navigation, recheck, install, update and uninstall act only from the screen that offers
    // them (a late click from a screen being replaced does nothing); launches act anywhere.

    // --- The start-up check ---

    // Starts Node.js detection, reads the manifest, the detected tools and the earlier
    // installation, then waits for the router versions and Node.js, and only then leaves the
    // screen shown before it: for the Node.js screen, the launcher (returning user) or welcome.
    void preflight();
    // "Check again" on the Node.js screen: rechecked() becomes true at once, then preflight().
    void recheck();

    // --- Navigation ---

    // "Get started" on welcome: fresh questions.
    void getStarted();
    // "Have an Enterprise Gateway?" on the questions: the enterprise form.
    void openEnterpriseGateway();
    // The form's "Continue": fresh questions for the gateway (spaces and tabs trimmed), which
    // is kept for the questions asked from then on. The tools already picked stay picked.
    void continueEnterpriseGateway(const QString &url, const QString &email);
    // The form's "Back": the questions as they were left, gateway and all.
    void cancelEnterpriseGateway();
    // "Remove" by the gateway in the questions' header: fresh questions for the hosted gateway,
    // the tools already picked still picked.
    void removeEnterpriseGateway();
    // "Open Launcher" on the completion screen.
    void openLauncher();
    // "Settings" on the launcher: fresh questions, whose first step leads back.
    void openSettings();
    // "Back" on the first step, or Escape, of questions opened from the launcher: the
    // launcher, nothing changed.
    void leaveQuestions();
    // "Try again" on the failure screen. After an install: the questions, every answer as it
    // was. After an uninstall: the launcher while an installation is still recorded. Else
    // welcome.
    void retry();

    // --- Install, update, uninstall ---

    // The questions' final button: installs the questions model's answers once they may be
    // submitted. Installing, then complete or failed. Success reads the installation record
    // and the versions again, for the launcher and the next questions.
    void runInstall();
    // The launcher's update: installing, then the launcher with fresh versions, or failed.
    void runUpdate();
    // The launcher's uninstall: installing, then welcome as a first run, or failed.
    void runUninstall();

    // --- Launches (they never change the screen) ---

    // `relaunch` first asks the running copy to quit.
    void launchClaudeDesktop(Setup::DesktopLaunchMode mode, bool relaunch);
    void launchCodexDesktop(Setup::DesktopLaunchMode mode, bool relaunch);
    void launchOpenCodeDesktop();

    // Opens a terminal in the home folder (the command to type is on the clipboard; nothing is
    // run). On success hideApplicationRequested() follows 0.2 s later; on failure
    // terminalLaunchError() is set.
    void launchTerminal();
    // "Open in Terminal": launchTerminal() two seconds from now. Each call schedules its own;
    // they happen even when the launcher has been left.
    void launchTerminalLater();

    // Asks every running copy of `app` to quit, without waiting.
    void terminateDesktopApp(Setup::DesktopApp app);

Q_SIGNALS:
    void screenChanged(Screen screen);
    void recheckedChanged(bool rechecked);
    void checkingNodeChanged(bool checking);
    void questionsModelChanged(Wizard::QuestionsModel *model);
    void statusTextChanged(const QString &statusText);
    void errorTextChanged(const QString &errorText);
    void launchedCommandsChanged(const QStringList &commands);
    void versionInfoChanged();
    void desktopLaunchBusyChanged(bool busy);
    void launcherErrorTextChanged();

    // The terminal has opened: hide this application so the terminal is in front (the setup
    // window minimises).
    void hideApplicationRequested();

private:
    struct PreflightRun;
    // What the failure screen reports, for "Try again".
    enum class Operation
    {
        StartUp,
        Install,
        Update,
        Uninstall
    };

    void setScreen(Screen screen);
    // Shows the questions: a new model for `gateway` when `fresh` or when there is none yet.
    // `keepTools`: the new model starts with the tools of the one it replaces.
    void enterQuestions(bool fresh, const std::optional<EnterpriseGateway> &gateway,
                        bool keepTools = false);
    // The gateway the questions are asked for now.
    std::optional<EnterpriseGateway> gateway() const;
    void setStatusText(const QString &text);
    void setErrorText(const QString &text);
    void setLaunchedCommands(const QStringList &commands);
    // The versions read, or unknown ones when they could not be read.
    void setVersionInfo(const Setup::SetupResult<Setup::VersionInfo> &result);
    void setDesktopLaunchBusy(bool busy);
    void setCheckingNode(bool checking);
    void setLauncherError(const std::optional<QString> &error);
    void finishPreflight(const std::shared_ptr<PreflightRun> &run);
    // Reads the installation record again: whether there is one, its harnesses, the commands.
    void readInstallation();
    // The installer succeeded for `harnesses`: the record and the versions again, then done.
    void finishInstall(const QStringList &harnesses);
    // `operation` failed: the failure screen with `failure` described.
    void fail(Operation operation, const Failure &failure, const QString &fallback);
    // Runs one desktop launch at a time; a call while one runs is ignored.
    void launchDesktop(const QString &fallback,
                       const std::function<void(Setup::Completion<void>)> &operation);
    void schedule(std::chrono::milliseconds delay, std::function<void()> action);
    QStringList existingIds() const;

    Setup::SetupEngine &m_engine;
    ManifestSource m_loadManifest;
    Platform::Timers &m_timers;
    std::vector<std::unique_ptr<Platform::TimerHandle>> m_timerHandles;
    int m_firingTimers = 0;

    Screen m_screen = Screen::Loading;
    std::optional<Manifest::Resolved> m_resolved;
    QList<Manifest::ManifestHarness> m_detected;
    bool m_rechecked = false;
    bool m_checkingNode = false;
    bool m_questionsFromLauncher = false;
    Operation m_failed = Operation::StartUp;
    bool m_isReturning = false;
    QList<Setup::ExistingHarness> m_existing;
    QString m_statusText;
    QString m_errorText;
    QStringList m_launchedCommands;
    bool m_desktopLaunchBusy = false;
    std::optional<QString> m_launcherError;
    Setup::VersionInfo m_versionInfo;
    QPointer<QuestionsModel> m_questionsModel;
};

} // namespace Wizard

// The launcher screen in its notable states, with fixed sample data. Nothing reaches the
// clipboard, the settings or the timers: the states are reached by clicking the real buttons
// of a screen that has none of them.
#include "Snapshot.h"

#include "design/FlatButton.h"
#include "wizard/ui/CopyButton.h"
#include "wizard/ui/LaunchedView.h"
#include "wizard/ui/LauncherRowView.h"

namespace Snapshots {

namespace {

const QStringList sampleCommands{QStringLiteral("orv claude"), QStringLiteral("orv codex"),
                                 QStringLiteral("orv opencode")};

std::unique_ptr<Wizard::LaunchedView> launcher(const Setup::VersionInfo &versions,
                                               bool hasTray = true)
{
    Wizard::LauncherServices services;
    services.isDesktopAppRunning = [](Setup::DesktopApp) { return false; };
    services.hasTray = [hasTray] { return hasTray; };
    auto view = std::make_unique<Wizard::LaunchedView>(services);
    view->setCommands(sampleCommands);
    view->setVersionInfo(versions);
    return view;
}

const Setup::VersionInfo upToDate{QStringLiteral("1.4.2"), QStringLiteral("1.4.2")};

Design::FlatButton *rowButton(QWidget &view, int row, const char *name)
{
    return view.findChildren<Wizard::LauncherRowView *>().at(row)->findChild<Design::FlatButton *>(
        QLatin1String(name));
}

} // namespace

QList<Snapshot> launcherSnapshots()
{
    return {
        {QStringLiteral("launcher-up-to-date"), [] { return launcher(upToDate); }},
        {QStringLiteral("launcher-update-available"),
         [] { return launcher({QStringLiteral("1.4.2"), QStringLiteral("1.5.0")}); }},
        {QStringLiteral("launcher-checking"), [] { return launcher({}); }},
        // A desktop without a tray: the footer offers "Quit".
        {QStringLiteral("launcher-no-tray"),
         [] { return launcher({QStringLiteral("1.4.2"), QStringLiteral("1.5.0")}, false); }},
        {QStringLiteral("launcher-copied"),
         [] {
             auto view = launcher(upToDate);
             view->findChildren<Wizard::CopyButton *>().at(1)->click();
             return view;
         }},
        {QStringLiteral("launcher-command-card"),
         [] {
             auto view = launcher(upToDate);
             rowButton(*view, 1, "openInTerminal")->click();
             return view;
         }},
        {QStringLiteral("launcher-claude-notice"),
         [] {
             auto view = launcher(upToDate);
             rowButton(*view, 0, "launchApp")->click();
             return view;
         }},
        {QStringLiteral("launcher-busy"),
         [] {
             auto view = launcher(upToDate);
             view->setBusy(true);
             return view;
         }},
        {QStringLiteral("launcher-error"),
         [] {
             auto view = launcher(upToDate);
             view->setErrorText(QStringLiteral("Codex Desktop couldn't be launched. You can try again."));
             return view;
         }},
        // The same agent twice gives two rows; four rows are more than the window holds.
        {QStringLiteral("launcher-four-rows"),
         [] {
             auto view = launcher(upToDate);
             view->setCommands(sampleCommands + QStringList{QStringLiteral("orv claude --resume")});
             return view;
         }},
        {QStringLiteral("launcher-empty"),
         [] {
             auto view = launcher(upToDate);
             view->setCommands({});
             return view;
         }},
    };
}

} // namespace Snapshots

#pragma once

#include "setup/VersionInfo.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace Wizard {

// One agent on the launcher screen: a short code, the agent's name and the router command that
// starts it.
struct LauncherRow
{
    QString code;
    QString name;
    QString command;

    friend bool operator==(const LauncherRow &, const LauncherRow &) = default;
};

// The launcher's rows, in the order of `commands`. The command's second word picks the agent,
// compared exactly; a command without one, or with a word no agent answers to, gets no row.
QList<LauncherRow> launcherRows(const QStringList &commands);

// The footer's line: the installed version and, when known, whether it is the latest.
QString versionLine(const Setup::VersionInfo &info);

// The label of the footer's update button.
QString updateButtonText(const Setup::VersionInfo &info);

} // namespace Wizard

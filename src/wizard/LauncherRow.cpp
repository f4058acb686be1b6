#include "wizard/LauncherRow.h"

namespace Wizard {

QList<LauncherRow> launcherRows(const QStringList &commands)
{
    QList<LauncherRow> rows;
    for (const QString &command : commands) {
        const QStringList words = command.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() < 2)
            continue;
        const QString &agent = words.at(1);
        if (agent == QLatin1String("claude"))
            rows.append({QStringLiteral("CC"), QStringLiteral("Claude Code"), command});
        else if (agent == QLatin1String("codex"))
            rows.append({QStringLiteral("CX"), QStringLiteral("Codex"), command});
        else if (agent == QLatin1String("opencode"))
            rows.append({QStringLiteral("OC"), QStringLiteral("OpenCode"), command});
    }
    return rows;
}

QString versionLine(const Setup::VersionInfo &info)
{
    const QString separator = QStringLiteral(" \u00B7 ");
    if (!info.installed)
        return QStringLiteral("Orvane") + separator + QStringLiteral("checking for updates");
    const QString installed = QStringLiteral("Orvane ") + *info.installed;
    if (!info.latest)
        return installed;
    if (info.updateAvailable())
        return installed + separator + QStringLiteral("update available: ") + *info.latest;
    return installed + separator + QStringLiteral("up to date");
}

QString updateButtonText(const Setup::VersionInfo &info)
{
    return QStringLiteral("Update to Orvane ") + info.latest.value_or(QString());
}

} // namespace Wizard

#include "setup/NodeVersion.h"

#include "setup/ShellRunner.h"

#include <QProcess>
#include <QRegularExpression>

#include <unistd.h>

namespace Setup {

namespace {

// The marker finds the version among whatever the user's start-up files print.
constexpr auto probeMarker = "__ORV_NODE__";
constexpr auto probeCommand =
    R"probe(command -v node >/dev/null 2>&1 && printf '__ORV_NODE__%s\n' "$(node --version)")probe";

} // namespace

std::optional<QString> nodeVersion()
{
    QProcess process;
    process.setProgram(userShell());
    process.setArguments({QStringLiteral("-ilc"), QLatin1String(probeCommand)});
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.setChildProcessModifier([] { ::setsid(); });
    process.start();
    if (!process.waitForStarted(-1))
        return std::nullopt;
    process.waitForFinished(-1);
    const QString output = QString::fromUtf8(process.readAllStandardOutput());

    static const QRegularExpression pattern{QStringLiteral("__ORV_NODE__(v[^\\s]+)")};
    const QRegularExpressionMatch match = pattern.match(output);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(0).remove(QLatin1String(probeMarker));
}

} // namespace Setup

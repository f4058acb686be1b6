#include "setup/NodeVersion.h"

#include "setup/Log.h"

#include <QRegularExpression>

namespace Setup {

namespace {

// The marker finds the version among whatever the user's start-up files print.
constexpr auto probeMarker = "__ORV_NODE__";
constexpr auto probeCommand =
    R"probe(command -v node >/dev/null 2>&1 && printf '__ORV_NODE__%s\n' "$(node --version)")probe";

} // namespace

std::optional<QString> nodeVersionFromOutput(const QString &output)
{
    static const QRegularExpression pattern{QStringLiteral("__ORV_NODE__(v[^\\s]+)")};
    const QRegularExpressionMatch match = pattern.match(output);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(0).remove(QLatin1String(probeMarker));
}

void nodeVersion(Completion<std::optional<QString>> done, const LoginShellRunner &run)
{
    // The runner quotes each argument; `eval` hands the probe to the login shell itself, so
    // functions and aliases its start-up files define count as they would at a prompt.
    run({QStringLiteral("eval"), QLatin1String(probeCommand)},
        [done = std::move(done)](SetupResult<QString> result) {
            // The probe's exit status means nothing: a shell without node exits non-zero
            // after printing nothing, and one whose start-up files fail may still find it.
            QString output;
            if (result)
                output = *result;
            else if (const auto *error = std::get_if<SetupError>(&result.error()))
                output = error->output;
            const auto version = nodeVersionFromOutput(output);
            qCDebug(lcSetup, "Node.js in the login shell: %s",
                    version ? qUtf8Printable(*version) : "none");
            done(version);
        });
}

} // namespace Setup

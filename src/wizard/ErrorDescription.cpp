#include "wizard/ErrorDescription.h"

#include "setup/RouterOperations.h"

#include <QStringList>

namespace Wizard {

namespace {

std::optional<QString> installerMessage(const Setup::SetupFailure &failure)
{
    const auto *error = std::get_if<Setup::SetupError>(&failure);
    if (!error || error->kind != Setup::SetupError::Kind::ExitedWithStatus ||
        error->output.isEmpty())
        return std::nullopt;
    const QStringList lines = error->output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.isEmpty() ? error->output : lines.last();
}

} // namespace

QString describe(const Failure &failure, const QString &fallback)
{
    if (const auto *manifest = std::get_if<Manifest::ManifestError>(&failure))
        return manifest->description();
    if (const auto *setup = std::get_if<Setup::SetupFailure>(&failure)) {
        if (auto message = installerMessage(*setup))
            return *message;
        // Trying again changes nothing until the folder is there.
        if (const auto *platform = std::get_if<Setup::PlatformError>(setup);
            platform && platform->operation == QLatin1String(Setup::missingFolderOperation))
            return fallback + QStringLiteral(" The temporary folder %1 is missing.").arg(platform->path);
    }
    return fallback + QStringLiteral(" You can try again.");
}

QString logDescription(const Failure &failure)
{
    if (const auto *manifest = std::get_if<Manifest::ManifestError>(&failure))
        return manifest->description();
    const auto *setup = std::get_if<Setup::SetupFailure>(&failure);
    if (!setup)
        return QStringLiteral("an unknown error");
    if (const auto *platform = std::get_if<Setup::PlatformError>(setup))
        return QStringLiteral("%1 %2: %3")
            .arg(platform->operation, platform->path, platform->message);
    const auto &error = std::get<Setup::SetupError>(*setup);
    if (error.kind == Setup::SetupError::Kind::ScriptMissing)
        return QStringLiteral("the setup script is missing");
    return QStringLiteral("exit status %1").arg(error.status);
}

} // namespace Wizard

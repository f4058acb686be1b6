#include "wizard/core/ErrorDescription.h"

#include <QStringList>

namespace Wizard {

namespace {

std::optional<QString> installerMessage(const SetupFailure &failure)
{
    const auto *error = std::get_if<SetupError>(&failure);
    if (!error || error->kind != SetupError::Kind::ExitedWithStatus || error->output.isEmpty())
        return std::nullopt;
    const QStringList lines = error->output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.isEmpty() ? error->output : lines.last();
}

} // namespace

QString describe(const Failure &failure, const QString &fallback)
{
    if (const auto *manifest = std::get_if<ManifestError>(&failure))
        return manifest->description();
    if (const auto *setup = std::get_if<SetupFailure>(&failure))
        if (auto message = installerMessage(*setup))
            return *message;
    return fallback + QStringLiteral(" You can try again.");
}

} // namespace Wizard

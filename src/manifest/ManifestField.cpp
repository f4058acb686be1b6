#include "manifest/ManifestField.h"

namespace Manifest {

namespace {

size_t hashOptional(const std::optional<QString> &value, size_t seed) noexcept
{
    return value ? qHashMulti(seed, true, *value) : ::qHash(false, seed);
}

size_t hashOptional(const std::optional<bool> &value, size_t seed) noexcept
{
    return value ? qHashMulti(seed, true, *value) : ::qHash(false, seed);
}

} // namespace

std::optional<QString> ManifestField::validate(const QString &value) const
{
    // QString::trimmed() removes QChar::isSpace characters: the Unicode space, line and
    // paragraph separators plus U+0009..U+000D and U+0085, i.e. all whitespace and newlines.
    const QString trimmed = value.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;

    if (prefix && !trimmed.startsWith(*prefix, Qt::CaseSensitive))
        return label + QStringLiteral(" should start with \"") + *prefix + QStringLiteral("\".");

    if (requiresHttps.value_or(false)) {
        // Plain-http gateways are allowed on the loopback address only, and only when written
        // exactly in lower case.
        const bool acceptable = trimmed.toLower().startsWith(QLatin1String("https://")) ||
                                trimmed.startsWith(QLatin1String("http://localhost")) ||
                                trimmed.startsWith(QLatin1String("http://127.0.0.1"));
        if (!acceptable)
            return label + QStringLiteral(" must be an https:// URL.");
    }
    return std::nullopt;
}

size_t qHash(const ManifestField &field, size_t seed) noexcept
{
    seed = qHashMulti(seed, field.configKey, field.label, field.secret);
    seed = hashOptional(field.placeholder, seed);
    seed = hashOptional(field.prefix, seed);
    return hashOptional(field.requiresHttps, seed);
}

} // namespace Manifest

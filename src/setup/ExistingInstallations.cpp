#include "setup/ExistingInstallations.h"

#include "manifest/KnownHarness.h"
#include "platform/HomeDirectory.h"
#include "platform/RegularFile.h"
#include "setup/Log.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace Setup {

namespace {

std::optional<QString> stringMember(const QJsonObject &entry, QLatin1String key)
{
    const QJsonValue value = entry.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

bool isTrue(const QJsonObject &entry, QLatin1String key)
{
    const QJsonValue value = entry.value(key);
    return value.isBool() && value.toBool();
}

// Only the two harnesses the application knows record their funding in a way it understands;
// for every other id the record's members mean nothing here.
std::optional<QString> fundingOf(const QString &harness, const QJsonObject &entry)
{
    const auto known = Manifest::knownHarness(harness);
    if (!known)
        return std::nullopt;
    const auto provider = stringMember(entry, QLatin1String("user_funded_provider"));
    switch (*known) {
    case Manifest::KnownHarness::ClaudeCode:
        if (provider && *provider == QLatin1String("claude-subscription"))
            return QStringLiteral("subscription");
        return provider;
    case Manifest::KnownHarness::Codex:
        if (isTrue(entry, QLatin1String("openai_subscription_auth")))
            return QStringLiteral("subscription");
        return provider;
    }
    return std::nullopt;
}

} // namespace

const QString &installationsPath()
{
    // A function-local static is initialised exactly once, even under concurrent first calls.
    static const QString path =
        Platform::expandTilde(QStringLiteral("~/.local/state/orvane/installations.json"));
    return path;
}

QList<ExistingHarness> readExistingHarnesses(const QString &recordPath)
{
    const auto contents = Platform::readRegularFile(recordPath);
    if (!contents)
        return {};
    const auto untrusted = [&recordPath]() -> QList<ExistingHarness> {
        qCWarning(lcSetup, "%s is not an installations record; taken as no installation",
                  qUtf8Printable(recordPath));
        return {};
    };

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(*contents, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return untrusted();

    const QJsonValue installations = document.object().value(QLatin1String("installations"));
    if (!installations.isArray())
        return untrusted();
    const QJsonArray entries = installations.toArray();
    // One element that is not an object makes the whole record untrustworthy.
    for (const QJsonValue &entry : entries) {
        if (!entry.isObject())
            return untrusted();
    }

    QList<ExistingHarness> harnesses;
    for (const QJsonValue &value : entries) {
        const QJsonObject entry = value.toObject();
        const auto harness = stringMember(entry, QLatin1String("harness"));
        if (!harness || isTrue(entry, QLatin1String("disabled")))
            continue;
        harnesses.append(ExistingHarness{*harness, fundingOf(*harness, entry)});
    }
    qCDebug(lcSetup, "%lld installed harnesses in %s", static_cast<long long>(harnesses.size()),
            qUtf8Printable(recordPath));
    return harnesses;
}

QList<ExistingHarness> readExistingHarnesses()
{
    return readExistingHarnesses(installationsPath());
}

bool hasExistingInstall(const QString &recordPath)
{
    return !readExistingHarnesses(recordPath).isEmpty();
}

bool hasExistingInstall()
{
    return hasExistingInstall(installationsPath());
}

} // namespace Setup

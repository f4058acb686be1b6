#include "wizard/QuestionsModel.h"

#include "wizard/TextTrimming.h"

#include <algorithm>
#include <optional>

namespace Wizard {

namespace {

QSet<QString> initialHarnesses(const Manifest::InstallManifest &manifest,
                               const QList<Manifest::ManifestHarness> &detected,
                               const QList<Setup::ExistingHarness> &existing)
{
    QSet<QString> ids;
    for (const Setup::ExistingHarness &harness : existing)
        ids.insert(harness.id);
    if (!ids.isEmpty())
        return ids;
    for (const Manifest::ManifestHarness &harness : detected)
        ids.insert(harness.id);
    if (!ids.isEmpty())
        return ids;
    return QSet<QString>(manifest.defaultHarnessIds.begin(), manifest.defaultHarnessIds.end());
}

// The funding the earlier installation recorded for group `key`: that of the first existing
// harness that the manifest places in this group, even when it recorded none.
std::optional<QString> existingFunding(const Manifest::InstallManifest &manifest,
                                       const QString &key,
                                       const QList<Setup::ExistingHarness> &existing)
{
    for (const Setup::ExistingHarness &harness : existing) {
        const bool inGroup = std::any_of(manifest.harnesses.begin(), manifest.harnesses.end(),
                                         [&](const Manifest::ManifestHarness &h) {
                                             return h.id == harness.id && h.fundingGroup == key;
                                         });
        if (inGroup)
            return harness.funding;
    }
    return std::nullopt;
}

QSet<QString> initialFunding(const QString &key, const Manifest::FundingGroup &group,
                             const Manifest::InstallManifest &manifest,
                             const QList<Setup::ExistingHarness> &existing, bool privateGateway)
{
    const auto &options = group.options;
    if (const auto funding = existingFunding(manifest, key, existing)) {
        const bool stillOffered = std::any_of(options.begin(), options.end(),
                                              [&](const auto &o) { return o.id == *funding; });
        if (stillOffered)
            return {*funding};
    }
    if (options.isEmpty())
        return {};
    if (privateGateway) {
        for (const Manifest::FundingOption &option : options)
            if (option.id.endsWith(QLatin1String("-proxy")))
                return {option.id};
    }
    return {options.first().id};
}

} // namespace

QuestionsModel::QuestionsModel(Manifest::InstallManifest manifest,
                               const QList<Manifest::ManifestHarness> &detected,
                               const QList<Setup::ExistingHarness> &existing,
                               std::optional<EnterpriseGateway> gateway, QObject *parent)
    : QObject(parent)
    , m_manifest(std::move(manifest))
    , m_isReturning(!existing.isEmpty())
    , m_gateway(std::move(gateway))
{
    m_selectedHarnesses = initialHarnesses(m_manifest, detected, existing);
    for (auto it = m_manifest.fundingGroups.cbegin(); it != m_manifest.fundingGroups.cend(); ++it)
        m_selectedFunding.insert(it.key(), initialFunding(it.key(), it.value(), m_manifest,
                                                          existing, m_gateway.has_value()));
}

bool QuestionsModel::isHarnessSelected(const QString &harnessId) const
{
    return m_selectedHarnesses.contains(harnessId);
}

void QuestionsModel::setHarnessSelected(const QString &harnessId, bool selected)
{
    if (selected == isHarnessSelected(harnessId))
        return;
    if (selected)
        m_selectedHarnesses.insert(harnessId);
    else
        m_selectedHarnesses.remove(harnessId);
    Q_EMIT selectedHarnessesChanged();
}

void QuestionsModel::setSelectedHarnesses(const QSet<QString> &harnessIds)
{
    if (harnessIds == m_selectedHarnesses)
        return;
    m_selectedHarnesses = harnessIds;
    Q_EMIT selectedHarnessesChanged();
}

void QuestionsModel::toggleHarness(const QString &harnessId)
{
    setHarnessSelected(harnessId, !isHarnessSelected(harnessId));
}

bool QuestionsModel::isFundingSelected(const QString &optionId, const QString &groupKey) const
{
    const auto it = m_selectedFunding.constFind(groupKey);
    return it != m_selectedFunding.cend() && it->contains(optionId);
}

void QuestionsModel::toggleFunding(const QString &optionId, const QString &groupKey)
{
    QSet<QString> &chosen = m_selectedFunding[groupKey];
    if (!chosen.remove(optionId))
        chosen.insert(optionId);
    Q_EMIT selectedFundingChanged(groupKey);
}

QString QuestionsModel::fieldValue(const Manifest::ManifestField &field) const
{
    return m_fieldValues.value(field.configKey);
}

void QuestionsModel::setFieldValue(const Manifest::ManifestField &field, const QString &text)
{
    const auto it = m_fieldValues.constFind(field.configKey);
    if (it != m_fieldValues.cend() && *it == text)
        return;
    m_fieldValues.insert(field.configKey, text);
    Q_EMIT fieldValuesChanged(field.configKey);
}

QStringList QuestionsModel::activeFundingGroups() const
{
    QStringList groups;
    for (const Manifest::ManifestHarness &harness : m_manifest.harnesses) {
        if (harness.fundingGroup && m_selectedHarnesses.contains(harness.id) &&
            !groups.contains(*harness.fundingGroup))
            groups.append(*harness.fundingGroup);
    }
    return groups;
}

QList<QuestionStep> QuestionsModel::steps() const
{
    QList<QuestionStep> steps{QuestionStep::tools()};
    for (const QString &group : activeFundingGroups())
        steps.append(QuestionStep::funding(group));
    return steps;
}

QList<Manifest::ManifestField> QuestionsModel::fields(const QString &groupKey) const
{
    const auto chosen = m_selectedFunding.constFind(groupKey);
    const auto group = m_manifest.fundingGroups.constFind(groupKey);
    if (chosen == m_selectedFunding.cend() || group == m_manifest.fundingGroups.cend())
        return {};
    QList<Manifest::ManifestField> fields;
    QSet<QString> seen;
    for (const Manifest::FundingOption &option : group->options) {
        if (!chosen->contains(option.id))
            continue;
        for (const Manifest::ManifestField &field : option.fields) {
            if (!seen.contains(field.configKey)) {
                seen.insert(field.configKey);
                fields.append(field);
            }
        }
    }
    return fields;
}

std::optional<SubmitBlocker> QuestionsModel::submitBlocker() const
{
    if (m_selectedHarnesses.isEmpty())
        return SubmitBlocker{1, {}, tr("Choose at least one tool.")};
    const QStringList groups = activeFundingGroups();
    for (qsizetype i = 0; i < groups.size(); ++i) {
        const int step = int(i) + 2; // the tools come first
        const auto chosen = m_selectedFunding.constFind(groups.at(i));
        if (chosen == m_selectedFunding.cend())
            return SubmitBlocker{step, {}, tr("This step offers nothing to choose.")};
        if (chosen->isEmpty())
            return SubmitBlocker{step, {}, tr("Tick at least one funding option.")};
        for (const Manifest::ManifestField &field : fields(groups.at(i))) {
            const QString value = trimWhitespaceAndNewlines(fieldValue(field));
            if (value.isEmpty())
                return SubmitBlocker{step, field.configKey, tr("%1 is needed.").arg(field.label)};
            if (const std::optional<QString> message = field.validate(value))
                return SubmitBlocker{step, field.configKey, *message};
        }
    }
    return std::nullopt;
}

Setup::InstallAnswers QuestionsModel::answers() const
{
    Setup::InstallAnswers answers;
    for (const QString &key : activeFundingGroups()) {
        const auto group = m_manifest.fundingGroups.constFind(key);
        const auto chosen = m_selectedFunding.constFind(key);
        if (group == m_manifest.fundingGroups.cend() || chosen == m_selectedFunding.cend())
            continue;
        QStringList optionIds;
        for (const Manifest::FundingOption &option : group->options)
            if (chosen->contains(option.id))
                optionIds.append(option.id);
        answers.fundingByGroup.insert(group->configKey, optionIds);
        for (const Manifest::ManifestField &field : fields(key))
            answers.fields.insert(field.configKey, trimWhitespaceAndNewlines(fieldValue(field)));
    }
    if (m_gateway) {
        answers.fields.insert(QStringLiteral("gatewayBaseUrl"), m_gateway->url);
        answers.fields.insert(QStringLiteral("email"), m_gateway->email);
    }

    for (const Manifest::ManifestHarness &harness : m_manifest.harnesses)
        if (m_selectedHarnesses.contains(harness.id) && !answers.harnesses.contains(harness.id))
            answers.harnesses.append(harness.id);
    QStringList unlisted;
    for (const QString &id : m_selectedHarnesses)
        if (!answers.harnesses.contains(id))
            unlisted.append(id);
    unlisted.sort();
    answers.harnesses.append(unlisted);
    return answers;
}

} // namespace Wizard

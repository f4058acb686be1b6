#pragma once

#include "manifest/InstallManifest.h"
#include "setup/ExistingInstallations.h"
#include "setup/InstallAnswers.h"
#include "wizard/EnterpriseGateway.h"
#include "wizard/QuestionStep.h"
#include "wizard/SubmitBlocker.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace Wizard {

// The state behind the question screens: the tools to configure, the funding options chosen in
// each group, the text typed into their fields and the enterprise gateway they are asked for.
// From it come the steps, whether the user may submit, and the installer's answers. Everything
// it asks about comes from the manifest.
//
// Main thread only. The three changeable fields notify through their signals, each emitted only
// when the field's value really changed.
class QuestionsModel : public QObject
{
    Q_OBJECT

public:
    // The tools preselected are the existing installation's, else the detected ones, else the
    // manifest's defaults. Each funding group starts with the existing installation's option
    // when it still exists, else its first option (with a gateway: its first option whose id
    // ends in "-proxy", if any).
    QuestionsModel(Manifest::InstallManifest manifest,
                   const QList<Manifest::ManifestHarness> &detected,
                   const QList<Setup::ExistingHarness> &existing,
                   std::optional<EnterpriseGateway> gateway, QObject *parent = nullptr);

    const Manifest::InstallManifest &manifest() const { return m_manifest; }
    // An earlier installation listed at least one harness.
    bool isReturning() const { return m_isReturning; }
    // The organisation's own gateway the questions are asked for; none for the hosted one.
    const std::optional<EnterpriseGateway> &gateway() const { return m_gateway; }
    bool isPrivateGateway() const { return m_gateway.has_value(); }

    // The ids of the tools to configure.
    const QSet<QString> &selectedHarnesses() const { return m_selectedHarnesses; }
    bool isHarnessSelected(const QString &harnessId) const;
    void setHarnessSelected(const QString &harnessId, bool selected);
    // Replaces the whole choice (the tools picked before the gateway changed).
    void setSelectedHarnesses(const QSet<QString> &harnessIds);
    // Adds the id when absent, removes it when present (a click on a tool's tile).
    void toggleHarness(const QString &harnessId);

    // Group key -> chosen option ids. Holds an entry for every group of the manifest.
    const QMap<QString, QSet<QString>> &selectedFunding() const { return m_selectedFunding; }
    bool isFundingSelected(const QString &optionId, const QString &groupKey) const;
    // Adds the option to the group's set when absent, removes it when present.
    void toggleFunding(const QString &optionId, const QString &groupKey);

    // Field config key -> the text exactly as typed. Untouched fields are not in it.
    const QMap<QString, QString> &fieldValues() const { return m_fieldValues; }
    // The text typed for `field`, or the empty string.
    QString fieldValue(const Manifest::ManifestField &field) const;
    // Stores `text` unchanged under the field's config key.
    void setFieldValue(const Manifest::ManifestField &field, const QString &text);

    // Funding group keys used by the selected tools, each once, in the order in which the
    // selected tools (in manifest order) first name them. Keys the manifest lacks stay in.
    QStringList activeFundingGroups() const;
    // The tools step, then one funding step per active group.
    QList<QuestionStep> steps() const;
    // The fields of the group's chosen options, in manifest order, each config key once.
    QList<Manifest::ManifestField> fields(const QString &groupKey) const;

    // At least one tool, and every active group has a chosen option whose fields are all
    // filled (ignoring surrounding whitespace) and valid.
    bool canSubmit() const { return !submitBlocker(); }
    // The first of those conditions that fails, in that order; none when canSubmit().
    std::optional<SubmitBlocker> submitBlocker() const;
    // What the installer is given: the active groups' choices under their config keys, the
    // trimmed values of their fields, the gateway's address and e-mail as "gatewayBaseUrl" and
    // "email" (over fields of those keys), and the selected tools (in manifest order, then any
    // the manifest does not list, sorted).
    Setup::InstallAnswers answers() const;

Q_SIGNALS:
    void selectedHarnessesChanged();
    void selectedFundingChanged(const QString &groupKey);
    void fieldValuesChanged(const QString &configKey);

private:
    Manifest::InstallManifest m_manifest;
    bool m_isReturning = false;
    std::optional<EnterpriseGateway> m_gateway;
    QSet<QString> m_selectedHarnesses;
    QMap<QString, QSet<QString>> m_selectedFunding;
    QMap<QString, QString> m_fieldValues;
};

} // namespace Wizard

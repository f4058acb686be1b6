// The setup window's screens with fixed sample data, each over an opaque backdrop as a window
// without compositing shows it.
#include "Snapshot.h"

#include "design/VisualEffect.h"
#include "wizard/ui/CompletionScreen.h"
#include "wizard/ui/EnterpriseGatewayView.h"
#include "wizard/ui/FailureScreen.h"
#include "wizard/ui/LabeledField.h"
#include "wizard/ui/NodeMissingScreen.h"
#include "wizard/ui/ProgressScreen.h"
#include "wizard/ui/QuestionsView.h"
#include "wizard/ui/WelcomeScreen.h"
#include "wizard/QuestionsModel.h"
#include "manifest/ManifestLoader.h"

#include <QLineEdit>
#include <QStackedLayout>

namespace Snapshots {

namespace {

// `screen` over the backdrop, the way the setup window hosts the wizard.
std::unique_ptr<QWidget> onBackdrop(QWidget *screen)
{
    auto backdrop = std::make_unique<Design::VisualEffect>(false);
    auto *layout = new QStackedLayout(backdrop.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(screen);
    return backdrop;
}

std::unique_ptr<QWidget> progress(const QString &status)
{
    auto *screen = new Wizard::ProgressScreen;
    screen->setMessage(status);
    return onBackdrop(screen);
}

std::unique_ptr<QWidget> nodeMissing(bool rechecked)
{
    auto *screen = new Wizard::NodeMissingScreen;
    screen->setRechecked(rechecked);
    return onBackdrop(screen);
}

std::unique_ptr<QWidget> enterprise(const QString &url, const QString &email)
{
    auto *screen = new Wizard::EnterpriseGatewayView;
    screen->findChild<Wizard::LabeledField *>(QStringLiteral("gatewayUrl"))->setText(url);
    screen->findChild<Wizard::LabeledField *>(QStringLiteral("email"))->setText(email);
    return onBackdrop(screen);
}

// How the questions were reached: a first run, or Settings of an installation of Claude Code,
// or a first run for an organisation's gateway.
enum class Visit
{
    FirstRun,
    Settings,
    Gateway
};

// The questions over the bundled manifest, with Claude Code found on the machine; `prepare`
// sets choices and typed values, then "Continue" is clicked `continues` times.
std::unique_ptr<QWidget> questions(const std::function<void(Wizard::QuestionsModel &)> &prepare,
                                   int continues = 0, Visit visit = Visit::FirstRun)
{
    // Without the bundled manifest there is nothing to show: the state counts as failed.
    const auto bundled = Manifest::ManifestLoader::bundled();
    if (!bundled)
        return nullptr;
    const Manifest::InstallManifest &manifest = *bundled;
    QList<Manifest::ManifestHarness> detected;
    for (const Manifest::ManifestHarness &harness : manifest.harnesses)
        if (harness.id == u"claude-code")
            detected.append(harness);
    QList<Setup::ExistingHarness> existing;
    if (visit == Visit::Settings)
        existing.append({QStringLiteral("claude-code"), QStringLiteral("subscription")});
    std::optional<Wizard::EnterpriseGateway> gateway;
    if (visit == Visit::Gateway)
        gateway = Wizard::EnterpriseGateway{QStringLiteral("https://orvane.acme-corp.example"),
                                            QStringLiteral("dana@acme-corp.example")};
    auto *model = new Wizard::QuestionsModel(manifest, detected, existing, gateway);
    prepare(*model);
    auto *screen = new Wizard::QuestionsView(model);
    model->setParent(screen);
    screen->setCancellable(visit == Visit::Settings);
    auto *primary = screen->findChild<QWidget *>(QStringLiteral("primary"));
    for (int i = 0; i < continues; ++i)
        QMetaObject::invokeMethod(primary, "click");
    return onBackdrop(screen);
}

// Ticks `option` of `group` and types `text` into its field.
void pick(Wizard::QuestionsModel &model, const QString &group, const QString &option,
          const QString &text)
{
    model.toggleFunding(option, group);
    for (const Manifest::FundingOption &candidate : model.manifest().fundingGroups.value(group).options)
        if (candidate.id == option)
            return model.setFieldValue(candidate.fields.at(0), text);
    qFatal("the bundled manifest has no option %s", qPrintable(option));
}

} // namespace

QList<Snapshot> wizardSnapshots()
{
    return {
        {QStringLiteral("wizard-loading"),
         [] { return progress(QStringLiteral("Checking for the latest setup…")); }},
        {QStringLiteral("wizard-welcome"), [] { return onBackdrop(new Wizard::WelcomeScreen); }},
        {QStringLiteral("wizard-node-missing"), [] { return nodeMissing(false); }},
        {QStringLiteral("wizard-node-missing-rechecked"), [] { return nodeMissing(true); }},
        {QStringLiteral("wizard-node-missing-checking"),
         [] {
             auto screen = nodeMissing(true);
             screen->findChild<Wizard::NodeMissingScreen *>()->setChecking(true);
             return screen;
         }},
        {QStringLiteral("wizard-tools-none"),
         [] {
             return questions([](Wizard::QuestionsModel &model) {
                 model.setHarnessSelected(QStringLiteral("claude-code"), false);
             });
         }},
        {QStringLiteral("wizard-tools-some"),
         [] {
             return questions([](Wizard::QuestionsModel &model) {
                 model.setHarnessSelected(QStringLiteral("codex"), true);
             });
         }},
        {QStringLiteral("wizard-funding-two-options"),
         [] {
             return questions(
                 [](Wizard::QuestionsModel &model) {
                     model.setHarnessSelected(QStringLiteral("codex"), true);
                     pick(model, QStringLiteral("claude"), QStringLiteral("anthropic"),
                          QStringLiteral("sk-ant-api03-7f3c"));
                 },
                 1);
         }},
        {QStringLiteral("wizard-funding-validation"),
         [] {
             return questions(
                 [](Wizard::QuestionsModel &model) {
                     pick(model, QStringLiteral("claude"), QStringLiteral("anthropic"),
                          QStringLiteral("sk-live-7f3c"));
                 },
                 1);
         }},
        // A bad key on step 2 of 3 greys "Install" on step 3, and the footer says why.
        {QStringLiteral("wizard-install-blocked"),
         [] {
             return questions(
                 [](Wizard::QuestionsModel &model) {
                     model.setHarnessSelected(QStringLiteral("codex"), true);
                     pick(model, QStringLiteral("claude"), QStringLiteral("anthropic"),
                          QStringLiteral("sk-live-7f3c"));
                     pick(model, QStringLiteral("openai"), QStringLiteral("openai"),
                          QStringLiteral("sk-proj-51ab"));
                 },
                 2);
         }},
        {QStringLiteral("wizard-settings-back"),
         [] { return questions([](Wizard::QuestionsModel &) {}, 0, Visit::Settings); }},
        {QStringLiteral("wizard-gateway-header"),
         [] { return questions([](Wizard::QuestionsModel &) {}, 0, Visit::Gateway); }},
        {QStringLiteral("wizard-enterprise-empty"), [] { return enterprise({}, {}); }},
        {QStringLiteral("wizard-enterprise-filled"),
         [] {
             return enterprise(QStringLiteral("https://orvane.acme-corp.example"),
                               QStringLiteral("dana@acme-corp.example"));
         }},
        {QStringLiteral("wizard-installing"), [] { return progress(QStringLiteral("Installing…")); }},
        {QStringLiteral("wizard-complete"), [] { return onBackdrop(new Wizard::CompletionScreen); }},
        {QStringLiteral("wizard-failure"),
         [] {
             auto *screen = new Wizard::FailureScreen;
             screen->setMessage(QStringLiteral(
                 "npm error 404 Not Found - GET orvane - the package could not be fetched"));
             return onBackdrop(screen);
         }},
    };
}

} // namespace Snapshots

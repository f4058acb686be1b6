// The setup window's screens with fixed sample data, each over an opaque backdrop as a window
// without compositing shows it.
#include "Snapshot.h"

#include "design/VisualEffect.h"
#include "wizard/CompletionScreen.h"
#include "wizard/EnterpriseGatewayView.h"
#include "wizard/FailureScreen.h"
#include "wizard/LabeledField.h"
#include "wizard/NodeMissingScreen.h"
#include "wizard/ProgressScreen.h"

#include <QLineEdit>
#include <QStackedLayout>

namespace Snapshots {

namespace {

// `screen` over the backdrop, the way the setup window hosts the wizard.
std::unique_ptr<QWidget> onBackdrop(QWidget *screen)
{
    auto backdrop = std::make_unique<VisualEffect>(false);
    auto *layout = new QStackedLayout(backdrop.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(screen);
    return backdrop;
}

std::unique_ptr<QWidget> progress(const QString &status)
{
    auto *screen = new Wizard::ProgressScreen;
    screen->setStatusText(status);
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

} // namespace

QList<Snapshot> wizardSnapshots()
{
    return {
        {QStringLiteral("wizard-loading"),
         [] { return progress(QStringLiteral("Checking for the latest setup…")); }},
        {QStringLiteral("wizard-node-missing"), [] { return nodeMissing(false); }},
        {QStringLiteral("wizard-node-missing-rechecked"), [] { return nodeMissing(true); }},
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
             screen->setErrorText(QStringLiteral(
                 "npm error 404 Not Found - GET orvane - the package could not be fetched"));
             return onBackdrop(screen);
         }},
    };
}

} // namespace Snapshots

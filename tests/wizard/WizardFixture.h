#pragma once

// The real RootView over the real WizardController on the headless suites' manifest, with the
// scripted setup engine at the seam, timers that only fire when the test says so, and a home
// folder of its own for the launcher's settings: nothing is detected there, so the manifest's
// defaults are preselected.

#include "support/ManualTimers.h"
#include "support/ScriptedSetupEngine.h"

#include "QuestionsManifest.h"

#include "design/FlatButton.h"
#include "wizard/ui/LauncherRowView.h"
#include "wizard/ui/MessageBox.h"
#include "wizard/ui/RootView.h"
#include "wizard/QuestionsModel.h"
#include "wizard/WizardController.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace WizardFixture {

struct Host
{
    ManualClock clock;
    ManualTimers timers{clock};
    ScriptedSetupEngine engine;
    QTemporaryDir folder;
    QSettings settings{folder.filePath(QStringLiteral("orvane.conf")), QSettings::IniFormat};
    QList<::Wizard::MessageBox::Answer> answers; // the next alerts'; with none left the real box
    std::optional<bool> tray;                    // whether the desktop shows a tray; unset: not said
    QString sessionNotice;
    ::Wizard::WizardController controller{
        engine,
        [] {
            return std::expected<Manifest::Resolved, ::Wizard::Failure>(
                Manifest::Resolved{QStringLiteral("orvane@latest"), QuestionsManifest::manifest()});
        },
        timers};
    ::Wizard::RootView view{controller, services(), QSize(720, 560)};

    using Screen = ::Wizard::WizardController::Screen;

    Host()
    {
        qputenv("HOME", QFile::encodeName(folder.path()));
        view.resize(720, 560);
        QGuiApplication::clipboard()->clear();
    }

    ::Wizard::LauncherServices services()
    {
        ::Wizard::LauncherServices services;
        services.clipboard = QGuiApplication::clipboard();
        services.settings = &settings;
        services.timers = &timers;
        services.ask = [this](QWidget *parent, const ::Wizard::MessageBox::Alert &alert,
                              std::function<void(::Wizard::MessageBox::Answer)> answered) {
            if (answers.isEmpty())
                ::Wizard::MessageBox::ask(parent, alert, std::move(answered));
            else
                answered(answers.takeFirst());
        };
        services.hasTray = [this] { return tray.value_or(true); };
        services.sessionNotice = [this] { return sessionNotice; };
        return services;
    }

    // Shows the view, which starts the check, and answers it: Node.js found or not; with
    // `installed` tools (harness ids) the user is a returning one, on the launcher.
    bool start(bool nodeFound = true, const QStringList &installed = {},
               const Setup::VersionInfo &versions = {})
    {
        engine.existingInstall = engine.existingInstall || !installed.isEmpty();
        for (const QString &id : installed)
            engine.existingHarnesses.append({id, std::nullopt});
        view.show();
        if (!QTest::qWaitForWindowActive(&view))
            return false;
        return engine.releaseNodeVersion(nodeFound ? std::optional(QStringLiteral("v20.11.0"))
                                                   : std::nullopt) &&
               engine.releaseVersionInfo(versions);
    }

    template <typename T> T *find(const QString &name) const
    {
        return view.currentScreen() ? view.currentScreen()->findChild<T *>(name) : nullptr;
    }
    Design::FlatButton *button(const QString &name) const { return find<Design::FlatButton>(name); }
    QString text(const QString &label) const
    {
        auto *found = find<QLabel>(label);
        return found ? found->text() : QStringLiteral("<missing>");
    }
    void click(const QString &name) const { QTest::mouseClick(find<QWidget>(name), Qt::LeftButton); }
    // A launcher row's button: "openInTerminal" or "launchApp".
    Design::FlatButton *rowButton(int row, const char *name) const
    {
        return view.currentScreen()
            ->findChildren<::Wizard::LauncherRowView *>()
            .at(row)
            ->findChild<Design::FlatButton *>(QLatin1String(name));
    }
    ::Wizard::QuestionsModel *model() const { return controller.questionsModel(); }
};

} // namespace WizardFixture

// The whole wizard as the program runs it: the real RootView and controller over the system's
// setup engine, in a throw-away home whose login shell finds the real node and npx, with the
// stand-in router package served by a registry on loopback (npm_config_registry). Nothing else
// of the network is used.
#include "design/FlatButton.h"
#include "manifest/ManifestLoader.h"
#include "platform/Timers.h"
#include "setup/FixtureHome.h"
#include "setup/StandInRouter.h"
#include "setup/SystemSetupEngine.h"
#include "wizard/ui/CopyButton.h"
#include "wizard/ui/FieldRow.h"
#include "wizard/ui/LaunchedView.h"
#include "wizard/ui/RootView.h"
#include "wizard/QuestionsModel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QTest>

using namespace Qt::StringLiterals;
using Screen = Wizard::WizardController::Screen;

namespace {

// Two tools with commands and one without. Claude's first option asks for the key the stand-in
// installer insists on; its second asks nothing, so the installer fails for want of it.
const char *const manifestJson = R"({
  "schema_version": 1,
  "default_harness_ids": ["claude-code"],
  "harnesses": [
    {"id": "claude-code", "name": "Claude Code", "config_paths": [], "orv_command": "orv claude", "funding_group": "claude"},
    {"id": "codex", "name": "Codex", "config_paths": [], "orv_command": "orv codex", "funding_group": "openai"},
    {"id": "plain", "name": "Plain", "config_paths": []}
  ],
  "funding_groups": {
    "claude": {"config_key": "claude-code_funding", "title": "Claude", "options": [
      {"id": "claude-key", "name": "Orvane key", "fields": [
        {"config_key": "api_key", "label": "Orvane API key", "secret": true}]},
      {"id": "claude-nothing", "name": "Nothing yet", "fields": []}]},
    "openai": {"config_key": "codex_funding", "title": "OpenAI", "options": [
      {"id": "openrouter", "name": "OpenRouter", "fields": []}]}
  },
  "advanced": {"title": "Advanced", "description": "", "fields": []}
})";

constexpr int installTimeout = 180'000; // npx unpacks the package from loopback

// One start of the program's wizard: engine, controller and window, as the application has
// them, with the launcher's settings in the home folder.
struct Program
{
    Setup::SystemSetupEngine engine;
    Wizard::WizardController controller{
        engine,
        [] {
            auto manifest = Manifest::ManifestLoader::decode(QByteArray(manifestJson));
            if (!manifest)
                qFatal("the test manifest does not decode");
            return std::expected<Manifest::Resolved, Wizard::Failure>(
                Manifest::Resolved{u"orvane@latest"_s, *manifest});
        },
        Platform::QtTimers::instance()};
    QSettings settings;
    Wizard::RootView view;

    explicit Program(const FixtureHome &home)
        : settings(home.path(u".config/Orvane/Orvane.conf"_s), QSettings::IniFormat)
        , view(controller,
               {.clipboard = QGuiApplication::clipboard(), .settings = &settings,
                .timers = &Platform::QtTimers::instance(), .isDesktopAppRunning = {}},
               QSize(720, 560))
    {
        view.resize(720, 560);
        view.show();
    }

    template <typename T> T *find(const QString &name) const
    {
        return view.currentScreen() ? view.currentScreen()->findChild<T *>(name) : nullptr;
    }
    void click(const QString &name) const
    {
        auto *button = find<QAbstractButton>(name);
        QVERIFY2(button, qPrintable(name));
        QVERIFY2(button->isEnabled(), qPrintable(name));
        QTest::mouseClick(button, Qt::LeftButton);
    }
    // Makes `option` the only funding chosen in `group`, whatever came preselected.
    void chooseOnly(const QString &group, const QString &option, const QStringList &options) const
    {
        for (const QString &id : options) {
            Wizard::QuestionsModel *model = controller.questionsModel();
            QVERIFY(model);
            if (model->isFundingSelected(id, group) != (id == option))
                click(u"option-"_s + id);
            QCOMPARE(controller.questionsModel()->isFundingSelected(id, group), id == option);
        }
    }
    // Whether any text the window shows holds `text`: labels, buttons, and line edits as drawn
    // (a password field draws bullets).
    bool shows(const QString &text) const
    {
        for (const QWidget *widget : view.findChildren<QWidget *>()) {
            QString shown;
            if (const auto *label = qobject_cast<const QLabel *>(widget))
                shown = label->text();
            else if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
                shown = button->text();
            else if (const auto *edit = qobject_cast<const QLineEdit *>(widget))
                shown = edit->displayText();
            if (shown.contains(text))
                return true;
        }
        return false;
    }
    // The commands the launcher lists, from its copy buttons.
    QStringList launcherCommands() const
    {
        QStringList commands;
        if (auto *launcher = qobject_cast<Wizard::LaunchedView *>(view.currentScreen()))
            for (const auto *copy : launcher->findChildren<Wizard::CopyButton *>())
                commands.append(copy->text());
        return commands;
    }
};

} // namespace

class TestWizardEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void installOpensTheLauncher();
    void failingInstallerShowsItsLastLine();

private:
    // From the welcome screen through the questions to the installer: Claude Code with
    // `claudeOption` (and `key` typed into its field when not empty), and Codex.
    void answerQuestions(Program &program, const QString &claudeOption, const QString &key);

    HttpTestServer m_registry;
    QByteArray m_savedRegistry;
};

void TestWizardEndToEnd::initTestCase()
{
    SKIP_UNLESS_INSTALLED(u"npx"_s);
    SKIP_UNLESS_INSTALLED(u"node"_s);
    // The environment outranks any .npmrc: npm and the version lookup both ask this registry.
    m_savedRegistry = qgetenv("npm_config_registry");
    qputenv("npm_config_registry", (m_registry.url() + u'/').toUtf8());
}

void TestWizardEndToEnd::cleanupTestCase()
{
    if (m_savedRegistry.isNull())
        qunsetenv("npm_config_registry");
    else
        qputenv("npm_config_registry", m_savedRegistry);
}

void TestWizardEndToEnd::answerQuestions(Program &program, const QString &claudeOption,
                                         const QString &key)
{
    QTRY_COMPARE_WITH_TIMEOUT(program.controller.screen(), Screen::Welcome, 60'000);
    QVERIFY(QTest::qWaitForWindowActive(&program.view));
    // Return is the welcome screen's default action.
    QTest::keyClick(program.view.currentScreen(), Qt::Key_Return);
    QCOMPARE(program.controller.screen(), Screen::Questions);

    // Claude Code comes preselected; Codex is added.
    program.click(u"tile-codex"_s);
    program.click(u"primary"_s);
    QVERIFY(!QTest::currentTestFailed());
    program.chooseOnly(u"claude"_s, claudeOption, {u"claude-key"_s, u"claude-nothing"_s});
    QVERIFY(!QTest::currentTestFailed());
    if (!key.isEmpty()) {
        auto *field = program.find<Wizard::FieldRow>(u"field-api_key"_s);
        QVERIFY(field);
        QTest::keyClicks(field->edit(), key);
        QCOMPARE(field->edit()->text(), key);
        QVERIFY(!program.shows(key));
    }
    program.click(u"primary"_s);
    program.chooseOnly(u"openai"_s, u"openrouter"_s, {u"openrouter"_s});
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(program.find<Design::FlatButton>(u"primary"_s)->text(), u"Install"_s);
    program.click(u"primary"_s);
    QCOMPARE(program.controller.screen(), Screen::Installing);
}

void TestWizardEndToEnd::installOpensTheLauncher()
{
    FixtureHome home;
    serveStandInRouter(m_registry, QStringLiteral(ORVANE_SETUP_FIXTURES), home.path());
    QVERIFY(!QTest::currentTestFailed());
    {
        Program first(home);
        answerQuestions(first, u"claude-key"_s, u"sk-end-to-end"_s);
        QVERIFY(!QTest::currentTestFailed());
        QTRY_COMPARE_WITH_TIMEOUT(first.controller.screen(), Screen::Complete, installTimeout);
        QVERIFY2(first.controller.errorText().isEmpty(), qPrintable(first.controller.errorText()));
        // The answers reached the installer, which ran on a terminal.
        QVERIFY(home.read(u".config/orvane/config.json"_s).contains("sk-end-to-end"));
        QCOMPARE(home.read(u".local/state/orvane/history.log"_s), "install 1.4.0 stdin-tty=true\n");
        // The key was never shown, and the program kept it nowhere: in the home, which is also
        // the temporary folder, only the installer's own configuration file holds it.
        QVERIFY(!first.shows(u"sk-end-to-end"_s));
        first.settings.sync();
        QDirIterator files(home.path(), QDir::Files | QDir::Hidden | QDir::System,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString file = files.next();
            QVERIFY2(file == home.path(u".config/orvane/config.json"_s) ||
                         !home.read(QDir(home.path()).relativeFilePath(file)).contains("sk-end-to-end"),
                     qPrintable(file));
        }

        first.click(u"openLauncher"_s);
        QCOMPARE(first.controller.screen(), Screen::Launched);
        QCOMPARE(first.launcherCommands(), (QStringList{u"orv claude"_s, u"orv codex"_s}));
    }

    // The next start finds the installation and opens on the launcher, with its versions.
    Program second(home);
    QTRY_COMPARE_WITH_TIMEOUT(second.controller.screen(), Screen::Launched, 60'000);
    QCOMPARE(second.launcherCommands(), (QStringList{u"orv claude"_s, u"orv codex"_s}));
    auto *version = second.find<QLabel>(u"version"_s);
    QVERIFY(version);
    QCOMPARE(version->text(), u"Orvane 1.4.0 \u00B7 up to date"_s);
}

void TestWizardEndToEnd::failingInstallerShowsItsLastLine()
{
    FixtureHome home;
    serveStandInRouter(m_registry, QStringLiteral(ORVANE_SETUP_FIXTURES), home.path());
    QVERIFY(!QTest::currentTestFailed());
    Program program(home);
    answerQuestions(program, u"claude-nothing"_s, {});
    QVERIFY(!QTest::currentTestFailed());
    QTRY_COMPARE_WITH_TIMEOUT(program.controller.screen(), Screen::Failed, installTimeout);
    // The stand-in installer's last printed line, without its colour codes.
    QCOMPARE(program.controller.errorText(), u"Missing api_key in the answers"_s);
    auto *error = program.find<QLabel>(u"error"_s);
    QVERIFY(error);
    QCOMPARE(error->text(), u"Missing api_key in the answers"_s);
    QVERIFY(home.read(u".local/state/orvane/installations.json"_s).isEmpty());

    // "Try again" leads back to the questions.
    program.click(u"tryAgain"_s);
    QCOMPARE(program.controller.screen(), Screen::Questions);
}

QTEST_MAIN(TestWizardEndToEnd)
#include "tst_wizardendtoend.moc"

// The wizard's screens inside the real RootView over the real controller, only the setup engine
// scripted: the start-up check, Node.js missing and its recheck line; the questions' steps and
// their counter, the footer's buttons, the keyboard, fields and their validation, the
// enterprise form; progress, completion and failure with the installer's last line.

#include "WizardFixture.h"

#include "wizard/ui/CrossFade.h"
#include "wizard/ui/FieldRow.h"
#include "wizard/ui/FundingOptionRow.h"
#include "wizard/ui/LabeledField.h"
#include "wizard/ui/QuestionsView.h"
#include "wizard/ui/ToolTile.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;
using WizardFixture::Host;
using Screen = Wizard::WizardController::Screen;
using Wizard::QuestionsView;

namespace {

// Starts a first run and presses Return, which the focused "Get started" takes.
bool openQuestions(Host &host)
{
    if (!host.start() || !QApplication::focusWidget() ||
        QApplication::focusWidget()->objectName() != u"getStarted")
        return false;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    return host.controller.screen() == Screen::Questions;
}

QuestionsView *questions(Host &host)
{
    return qobject_cast<QuestionsView *>(host.view.currentScreen());
}

Wizard::FieldRow *fieldRow(Host &host, const QString &option, const QString &configKey)
{
    QWidget *fields = host.find<QWidget>(u"fields-"_s + option);
    return fields ? fields->findChild<Wizard::FieldRow *>(u"field-"_s + configKey) : nullptr;
}

} // namespace

class TestWizardScreens : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startUpAndNodeMissing();
    void footerWalksTheSteps_data();
    void footerWalksTheSteps();
    void stepGoneReturnsToTools();
    void greyInstallSaysWhy();
    void keyboardOrder();
    void unselectedOptionKeepsItsValues();
    void enterpriseForm();
};

void TestWizardScreens::startUpAndNodeMissing()
{
    Host host;
    host.view.show();
    QVERIFY(QTest::qWaitForWindowActive(&host.view));
    // Showing the view started the check; its screen stays until both answers are in.
    QCOMPARE(host.text(u"status"_s), u"Checking for the latest setup\u2026"_s);
    QVERIFY(host.engine.releaseNodeVersion(std::nullopt));
    QVERIFY(host.engine.releaseVersionInfo({}));
    QCOMPARE(host.controller.screen(), Screen::NoNode);
    // The progress screen fades out over the next, then the fade removes itself.
    QVERIFY(host.view.findChild<Wizard::CrossFade *>());
    QTRY_VERIFY_WITH_TIMEOUT(!host.view.findChild<Wizard::CrossFade *>(), 2000);

    auto *line = host.find<QLabel>(u"recheckLine"_s);
    auto *checkAgain = host.find<QPushButton>(u"checkAgain"_s);
    auto *spinner = host.find<QWidget>(u"recheckSpinner"_s);
    QTest::keyClick(checkAgain, Qt::Key_Return);
    // While the new check runs: the spinner, the button waiting, nothing said yet.
    QVERIFY(spinner->isVisible());
    QVERIFY(!checkAgain->isEnabled());
    QCOMPARE(line->text(), u" "_s);
    QVERIFY(host.engine.releaseNodeVersion(std::nullopt));
    QVERIFY(host.engine.releaseVersionInfo({}));
    // It found nothing: now it is said, and the keyboard is back.
    QCOMPARE(line->text(), u"Still not finding Node.js."_s);
    QVERIFY(!spinner->isVisible());
    QVERIFY(checkAgain->isEnabled());
    QCOMPARE(QApplication::focusWidget(), checkAgain);

    // "Get Node.js" hands the download page to the desktop; without a browser to give it to
    // (none on this platform), the line under the buttons says so.
    QTest::mouseClick(host.find<QPushButton>(u"getNode"_s), Qt::LeftButton);
    QCOMPARE(host.text(u"recheckLine"_s), u"Couldn't open a browser: https://nodejs.org/en/download"_s);

    // Node.js installed meanwhile: the next recheck reaches welcome.
    QTest::mouseClick(checkAgain, Qt::LeftButton);
    QVERIFY(host.engine.releaseNodeVersion(u"v22.1.0"_s));
    QVERIFY(host.engine.releaseVersionInfo({}));
    QCOMPARE(host.controller.screen(), Screen::Welcome);
    // Shown again later, the view does not start a check of its own.
    host.view.hide();
    host.view.show();
    QCOMPARE(host.engine.callCount(u"nodeVersion"_s), 3);
}

void TestWizardScreens::footerWalksTheSteps_data()
{
    QTest::addColumn<bool>("returning");
    QTest::addColumn<QString>("finalLabel");
    QTest::addColumn<bool>("offersEnterprise");

    QTest::newRow("first run") << false << u"Install"_s << true;
    QTest::newRow("returning user") << true << u"Save changes"_s << false;
}

void TestWizardScreens::footerWalksTheSteps()
{
    QFETCH(bool, returning);
    QFETCH(QString, finalLabel);
    QFETCH(bool, offersEnterprise);

    Host host;
    if (returning) {
        host.engine.existingInstall = true;
        host.engine.existingHarnesses = {{u"claude-code"_s, u"subscription"_s},
                                         {u"codex"_s, u"openrouter"_s}};
        QVERIFY(host.start());
        // Settings left by Escape or by "Back" on their first step: the launcher, nothing changed.
        for (const bool escape : {false, true}) {
            host.controller.openSettings();
            host.model()->toggleHarness(u"opencode"_s);
            if (escape)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            else
                host.click(u"back"_s);
            QCOMPARE(host.controller.screen(), Screen::Launched);
        }
        host.controller.openSettings();
    } else {
        QVERIFY(openQuestions(host));
    }
    QCOMPARE(host.button(u"enterpriseGateway"_s)->isVisible(), offersEnterprise);

    for (int i = 0; i < 3; ++i) {
        QCOMPARE(host.text(u"stepLabel"_s), i == 0 ? u"TOOLS"_s : u"FUNDING"_s);
        QCOMPARE(host.text(u"stepCounter"_s), u"%1 OF 3"_s.arg(i + 1));
        // Settings lead back to the launcher from their first step.
        QCOMPARE(host.button(u"back"_s)->isVisible(), i > 0 || returning);
        QCOMPARE(host.button(u"primary"_s)->text(), i < 2 ? u"Continue"_s : finalLabel);
        // A middle step goes on even with its fields empty.
        QVERIFY(host.button(u"primary"_s)->isEnabled() || i == 2);
        if (i < 2)
            host.click(u"primary"_s);
    }
    // The funding steps come in the order the selected tools name their groups.
    QCOMPARE(questions(host)->step(), Wizard::QuestionStep::funding(u"openai"_s));
    // A screen reader hears each option by its title as written, "&" and all.
    for (auto *row : host.view.currentScreen()->findChildren<Wizard::FundingOptionRow *>())
        QCOMPARE(QAccessible::queryAccessibleInterface(row)->text(QAccessible::Name), row->text());

    if (!returning) {
        // The first run preselects "OpenAI key", whose key is still missing.
        QVERIFY(!host.button(u"primary"_s)->isEnabled());
        QLineEdit *key = fieldRow(host, u"openai"_s, u"openaiKey"_s)->edit();
        QTest::keyClicks(key, u"sk-test-1"_s);
    }
    QVERIFY(host.button(u"primary"_s)->isEnabled());

    // Back twice reaches the tools again, choices intact; Return takes a focused "Back".
    host.button(u"primary"_s)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(host.button(u"primary"_s), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), host.button(u"back"_s));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(host.text(u"stepCounter"_s), u"2 OF 3"_s);
    QCOMPARE(host.text(u"code"_s), u"CC"_s);
    host.click(u"back"_s);
    QCOMPARE(host.text(u"stepLabel"_s), u"TOOLS"_s);
    QCOMPARE(host.button(u"back"_s)->isVisible(), returning);
    host.click(u"primary"_s);
    host.click(u"primary"_s);
    host.click(u"primary"_s);
    QCOMPARE(host.engine.callCount(u"runInstall"_s), 1);
    QCOMPARE(host.text(u"status"_s), returning ? u"Updating\u2026"_s : u"Installing\u2026"_s);
    if (returning) { // done: the completion screen, whose "Open Launcher" takes Return
        QVERIFY(host.engine.succeed(u"runInstall"_s));
        QCOMPARE(host.button(u"openLauncher"_s)->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(QApplication::focusWidget(), host.button(u"openLauncher"_s));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(host.view.currentScreen()->objectName(), u"launcherScreen"_s);
        return;
    }
    // A failure shows what went wrong; "Try again" has the keyboard and goes back.
    QVERIFY(host.engine.fail(u"runInstall"_s, Setup::SetupError::exitedWithStatus(1, u"no"_s)));
    QCOMPARE(host.text(u"error"_s), u"no"_s);
    QCOMPARE(QApplication::focusWidget()->objectName(), u"tryAgain"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(host.text(u"stepCounter"_s), u"1 OF 3"_s);
}

void TestWizardScreens::stepGoneReturnsToTools()
{
    Host host;
    QVERIFY(openQuestions(host));
    host.click(u"primary"_s);
    host.click(u"primary"_s);
    QCOMPARE(questions(host)->step(), Wizard::QuestionStep::funding(u"openai"_s));
    // Codex was the only tool paying through "openai": its step goes, and the view with it.
    host.model()->setHarnessSelected(u"codex"_s, false);
    QCOMPARE(questions(host)->step(), Wizard::QuestionStep::tools());
    QCOMPARE(host.text(u"stepLabel"_s), u"TOOLS"_s);
    QCOMPARE(host.text(u"stepCounter"_s), u"1 OF 2"_s);
    // A click on a tile changes the counter and the button at once, without leaving the step.
    auto *tile = host.find<Wizard::ToolTile>(u"tile-claude-code"_s);
    QVERIFY(tile->isChecked());
    QTest::mouseClick(tile, Qt::LeftButton);
    QVERIFY(!tile->isChecked());
    QVERIFY(!host.model()->isHarnessSelected(u"claude-code"_s));
    QCOMPARE(host.text(u"stepCounter"_s), u"1 OF 1"_s);
    QCOMPARE(host.button(u"primary"_s)->text(), u"Install"_s);
    QVERIFY(!host.button(u"primary"_s)->isEnabled()); // nothing to install
}

void TestWizardScreens::greyInstallSaysWhy()
{
    Host host;
    QVERIFY(openQuestions(host));
    // Return goes on from the focused "Continue" and from inside a field.
    QCOMPARE(QApplication::focusWidget(), host.button(u"primary"_s));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    host.click(u"option-apikey"_s);
    QTest::keyClicks(fieldRow(host, u"apikey"_s, u"anthropicApiKey"_s)->edit(), u"sk-live-1"_s);
    QLineEdit *region = fieldRow(host, u"apikey"_s, u"region"_s)->edit();
    region->setFocus();
    QTest::keyClicks(region, u"eu"_s);
    QTest::keyClick(region, Qt::Key_Return);
    // The last step's field has the keyboard; Return there does nothing while it is empty.
    QLineEdit *openaiKey = fieldRow(host, u"openai"_s, u"openaiKey"_s)->edit();
    QCOMPARE(QApplication::focusWidget(), openaiKey);
    QTest::keyClick(openaiKey, Qt::Key_Return);
    QCOMPARE(host.text(u"stepCounter"_s), u"3 OF 3"_s);
    QTest::keyClicks(openaiKey, u"sk-1"_s);

    // The last step is complete, the second is not: "Install" is grey and the footer says why.
    QVERIFY(!host.button(u"primary"_s)->isEnabled());
    auto *link = host.button(u"blockerStep"_s);
    QVERIFY(link->isVisible());
    QCOMPARE(link->text() + host.text(u"blockerReason"_s),
             u"Step 2: Anthropic API key should start with \"sk-ant-\"."_s);
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(host.text(u"stepCounter"_s), u"2 OF 3"_s);
    QLineEdit *key = fieldRow(host, u"apikey"_s, u"anthropicApiKey"_s)->edit();
    QCOMPARE(QApplication::focusWidget(), key);
    key->selectAll();
    QTest::keyClicks(key, u"sk-ant-1"_s);
    host.click(u"primary"_s);
    QVERIFY(host.button(u"primary"_s)->isEnabled());
    QVERIFY(!host.button(u"blockerStep"_s)->isVisible());
}

void TestWizardScreens::keyboardOrder()
{
    Host host;
    QVERIFY(openQuestions(host));
    auto *first = host.find<Wizard::ToolTile>(u"tile-claude-code"_s);
    first->setFocus(Qt::TabFocusReason);
    QStringList order{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.append(QApplication::focusWidget()->objectName());
    }
    // Top to bottom, left to right; "Back" is hidden on the first step.
    QCOMPARE(order, (QStringList{u"tile-claude-code"_s, u"tile-codex"_s, u"tile-opencode"_s,
                                 u"tile-aider"_s, u"tile-plain"_s, u"tile-lonely"_s,
                                 u"tile-mixer"_s, u"primary"_s, u"enterpriseGateway"_s}));

    // The funding step's order starts with its options, a chosen one's fields right after it.
    host.click(u"primary"_s);
    host.click(u"option-apikey"_s);
    host.find<QWidget>(u"option-subscription"_s)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), u"option-apikey"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), fieldRow(host, u"apikey"_s, u"anthropicApiKey"_s)->edit());
    // Round the whole screen, the scroll area around the options is never a stop of its own.
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(!qobject_cast<QAbstractScrollArea *>(QApplication::focusWidget()));
    }
}

void TestWizardScreens::unselectedOptionKeepsItsValues()
{
    Host host;
    QVERIFY(openQuestions(host));
    host.click(u"primary"_s);
    auto *apikey = host.find<Wizard::FundingOptionRow>(u"option-apikey"_s);
    auto *proxy = host.find<Wizard::FundingOptionRow>(u"option-claude-proxy"_s);
    QTest::mouseClick(apikey, Qt::LeftButton);
    QVERIFY(host.find<QWidget>(u"fields-apikey"_s)->isVisible());
    QLineEdit *key = fieldRow(host, u"apikey"_s, u"anthropicApiKey"_s)->edit();
    QCOMPARE(key->echoMode(), QLineEdit::Password);
    QTest::keyClicks(key, u"sk-ant-kept"_s);
    QTest::keyClicks(fieldRow(host, u"apikey"_s, u"region"_s)->edit(), u"eu"_s);
    QCOMPARE(host.text(u"order"_s), u"Subscription \u2192 API key"_s);

    // The same field under a second chosen option shows and edits the one value.
    QTest::mouseClick(proxy, Qt::LeftButton);
    // Every keystroke is judged: the message follows the text, and goes once it is an https one.
    Wizard::FieldRow *url = fieldRow(host, u"claude-proxy"_s, u"proxyUrl"_s);
    auto *shown = url->findChild<QLabel *>(u"message"_s);
    const QString typed = u"https://p"_s;
    for (qsizetype n = 1; n <= typed.size(); ++n) {
        QTest::keyClick(url->edit(), typed.at(n - 1).toLatin1());
        const std::optional<QString> rule = url->field().validate(typed.left(n));
        QCOMPARE(url->message(), rule.value_or(QString()));
        QCOMPARE(shown->isVisible(), rule.has_value());
    }
    QCOMPARE(url->message(), QString());
    QLineEdit *otherRegion = fieldRow(host, u"claude-proxy"_s, u"region"_s)->edit();
    QCOMPARE(otherRegion->echoMode(), QLineEdit::Normal);
    QCOMPARE(otherRegion->text(), u"eu"_s);
    QTest::keyClicks(otherRegion, u"-west"_s);
    QCOMPARE(fieldRow(host, u"apikey"_s, u"region"_s)->edit()->text(), u"eu-west"_s);

    QTest::mouseClick(apikey, Qt::LeftButton);
    QVERIFY(!host.find<QWidget>(u"fields-apikey"_s)->isVisible());
    QCOMPARE(host.text(u"order"_s), u"Subscription \u2192 Proxy"_s);
    // Away to the next step and back: the step is rebuilt from the model.
    host.click(u"primary"_s);
    host.click(u"back"_s);
    host.click(u"option-apikey"_s);
    QCOMPARE(fieldRow(host, u"apikey"_s, u"anthropicApiKey"_s)->edit()->text(), u"sk-ant-kept"_s);
    QCOMPARE(fieldRow(host, u"apikey"_s, u"region"_s)->edit()->text(), u"eu-west"_s);
}

void TestWizardScreens::enterpriseForm()
{
    Host host;
    QVERIFY(openQuestions(host));
    host.click(u"enterpriseGateway"_s);
    QCOMPARE(host.controller.screen(), Screen::Enterprise);
    // Typed straight away, the address lands in its field; Return does nothing without an @.
    QTest::keyClicks(QApplication::focusWidget(), u"  https://gw.example  "_s);
    QCOMPARE(host.find<Wizard::LabeledField>(u"gatewayUrl"_s)->text(), u"  https://gw.example  "_s);
    QLineEdit *email = host.find<Wizard::LabeledField>(u"email"_s)->edit();
    QTest::keyClicks(email, u" dana"_s);
    QVERIFY(!host.button(u"continue"_s)->isEnabled());
    QTest::keyClick(email, Qt::Key_Return);
    QCOMPARE(host.controller.screen(), Screen::Enterprise);
    QTest::keyClicks(email, u"@corp "_s);
    QTest::keyClick(email, Qt::Key_Return);
    QCOMPARE(host.model()->gateway(), (Wizard::EnterpriseGateway{u"https://gw.example"_s, u"dana@corp"_s}));
    // Fresh questions for the organisation's gateway (the tools kept: the controller's rows),
    // which offer no second gateway but say which one is set.
    QCOMPARE(host.text(u"stepCounter"_s), u"1 OF 3"_s);
    QVERIFY(!host.button(u"enterpriseGateway"_s)->isVisible());
    QCOMPARE(host.text(u"gateway"_s), u"Gateway: gw.example"_s);

    // "Change" shows the gateway in the form, "Back" returns from it; "Remove": the hosted
    // questions.
    host.click(u"changeGateway"_s);
    QCOMPARE(host.find<Wizard::LabeledField>(u"gatewayUrl"_s)->text(), u"https://gw.example"_s);
    host.click(u"back"_s);
    host.click(u"removeGateway"_s);
    QVERIFY(!host.find<QLabel>(u"gateway"_s));
    QVERIFY(host.button(u"enterpriseGateway"_s)->isVisible());
}

QTEST_MAIN(TestWizardScreens)
#include "tst_wizardscreens.moc"

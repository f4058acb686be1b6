// The question screens inside the real RootView: steps and their counter, the footer's
// buttons, the keyboard, fields and their validation, the enterprise form. The controller is
// the real one; only the setup engine is scripted.

#include "WizardFixture.h"

#include "design/FlatButton.h"
#include "platform/Resources.h"
#include "wizard/ui/EnterpriseGatewayView.h"
#include "wizard/ui/FieldRow.h"
#include "wizard/ui/FundingOptionRow.h"
#include "wizard/ui/LabeledField.h"
#include "wizard/ui/QuestionsView.h"
#include "wizard/ui/ToolTile.h"

#include <QAbstractScrollArea>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QRawFont>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>

using namespace Qt::StringLiterals;
using WizardFixture::Host;
using Screen = Wizard::WizardController::Screen;
using Wizard::QuestionsView;

namespace {

// Starts a first run and clicks "Get started".
bool openQuestions(Host &host)
{
    if (!host.start())
        return false;
    auto *getStarted = host.find<Design::FlatButton>(u"getStarted"_s);
    if (!getStarted)
        return false;
    QTest::mouseClick(getStarted, Qt::LeftButton);
    return host.controller.screen() == Screen::Questions;
}

QuestionsView *questions(Host &host)
{
    return qobject_cast<QuestionsView *>(host.view.currentScreen());
}

QString labelText(Host &host, const QString &name)
{
    auto *label = host.find<QLabel>(name);
    return label ? label->text() : u"<missing>"_s;
}

Design::FlatButton *button(Host &host, const QString &name)
{
    return host.find<Design::FlatButton>(name);
}

Wizard::FieldRow *fieldRow(Host &host, const QString &option, const QString &configKey)
{
    QWidget *fields = host.find<QWidget>(u"fields-"_s + option);
    return fields ? fields->findChild<Wizard::FieldRow *>(u"field-"_s + configKey) : nullptr;
}

} // namespace

class TestQuestionScreens : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void stepCounterFollowsTheTools_data();
    void stepCounterFollowsTheTools();
    void footerWalksTheSteps_data();
    void footerWalksTheSteps();
    void stepGoneReturnsToTools();
    void greyInstallSaysWhy();
    void settingsLeadBack();
    void returnKey_data();
    void returnKey();
    void keyboardOrderAndSpace();
    void validationAppearsAsTyped_data();
    void validationAppearsAsTyped();
    void unselectedOptionKeepsItsValues();
    void answersAreTrimmed();
    void enterpriseForm_data();
    void enterpriseForm();
};

void TestQuestionScreens::initTestCase()
{
    // The screens' own face, as the program registers it: what it lacks comes from others.
    QVERIFY(QFontDatabase::addApplicationFont(
                Platform::Resources::path(u"Archivo-Regular"_s, u"ttf"_s)) >= 0);
}

void TestQuestionScreens::stepCounterFollowsTheTools_data()
{
    QTest::addColumn<QStringList>("clicked"); // tiles clicked, in order
    QTest::addColumn<QString>("counter");
    QTest::addColumn<QString>("primary");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("defaults: Claude Code and Codex") << QStringList{} << u"1 OF 3"_s
                                                     << u"Continue"_s << true;
    QTest::newRow("Codex off") << QStringList{u"codex"_s} << u"1 OF 2"_s << u"Continue"_s << true;
    QTest::newRow("OpenCode for Codex: same group") << QStringList{u"codex"_s, u"opencode"_s}
                                                    << u"1 OF 3"_s << u"Continue"_s << true;
    QTest::newRow("both off: nothing to install")
        << QStringList{u"codex"_s, u"claude-code"_s} << u"1 OF 1"_s << u"Install"_s << false;
    QTest::newRow("only a tool without funding")
        << QStringList{u"codex"_s, u"claude-code"_s, u"plain"_s} << u"1 OF 1"_s << u"Install"_s
        << true;
}

void TestQuestionScreens::stepCounterFollowsTheTools()
{
    QFETCH(QStringList, clicked);
    QFETCH(QString, counter);
    QFETCH(QString, primary);
    QFETCH(bool, enabled);

    Host host;
    QVERIFY(openQuestions(host));
    QCOMPARE(labelText(host, u"stepLabel"_s), u"TOOLS"_s);
    for (const QString &id : clicked) {
        auto *tile = host.find<Wizard::ToolTile>(u"tile-"_s + id);
        QVERIFY2(tile, qPrintable(id));
        const bool wasChecked = tile->isChecked();
        QTest::mouseClick(tile, Qt::LeftButton);
        QCOMPARE(tile->isChecked(), !wasChecked);
        QCOMPARE(host.model()->isHarnessSelected(id), !wasChecked);
    }
    // The counter and the button change at once, without leaving the step.
    QCOMPARE(labelText(host, u"stepCounter"_s), counter);
    QCOMPARE(button(host, u"primary"_s)->text(), primary);
    QCOMPARE(button(host, u"primary"_s)->isEnabled(), enabled);
    QVERIFY(!button(host, u"back"_s)->isVisible());
}

void TestQuestionScreens::footerWalksTheSteps_data()
{
    QTest::addColumn<bool>("returning");
    QTest::addColumn<QString>("finalLabel");
    QTest::addColumn<bool>("offersEnterprise");

    QTest::newRow("first run") << false << u"Install"_s << true;
    QTest::newRow("returning user") << true << u"Save changes"_s << false;
}

void TestQuestionScreens::footerWalksTheSteps()
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
        QCOMPARE(host.controller.screen(), Screen::Launched);
        host.controller.openSettings();
    } else {
        QVERIFY(openQuestions(host));
    }
    QCOMPARE(host.controller.screen(), Screen::Questions);
    QVERIFY(questions(host));
    QCOMPARE(button(host, u"enterpriseGateway"_s)->isVisible(), offersEnterprise);

    const QStringList labels{u"TOOLS"_s, u"FUNDING"_s, u"FUNDING"_s};
    const QStringList counters{u"1 OF 3"_s, u"2 OF 3"_s, u"3 OF 3"_s};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(labelText(host, u"stepLabel"_s), labels.at(i));
        QCOMPARE(labelText(host, u"stepCounter"_s), counters.at(i));
        // Settings lead back to the launcher from their first step.
        QCOMPARE(button(host, u"back"_s)->isVisible(), i > 0 || returning);
        QCOMPARE(button(host, u"primary"_s)->text(), i < 2 ? u"Continue"_s : finalLabel);
        // A middle step goes on even with its fields empty.
        QVERIFY(button(host, u"primary"_s)->isEnabled() || i == 2);
        if (i > 0)
            QVERIFY(!button(host, u"enterpriseGateway"_s)->isVisible());
        if (i < 2)
            QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
    }
    // The funding steps come in the order the selected tools name their groups.
    QCOMPARE(questions(host)->step(), Wizard::QuestionStep::funding(u"openai"_s));
    QCOMPARE(labelText(host, u"code"_s), u"CX"_s);

    if (!returning) {
        // The first run preselects "OpenAI key", whose key is still missing.
        QVERIFY(!button(host, u"primary"_s)->isEnabled());
        QLineEdit *key = fieldRow(host, u"openai"_s, u"openaiKey"_s)->edit();
        QTest::keyClicks(key, u"sk-test-1"_s);
    }
    QVERIFY(button(host, u"primary"_s)->isEnabled());

    // Back twice reaches the tools again, choices intact.
    QTest::mouseClick(button(host, u"back"_s), Qt::LeftButton);
    QCOMPARE(labelText(host, u"stepCounter"_s), u"2 OF 3"_s);
    QCOMPARE(labelText(host, u"code"_s), u"CC"_s);
    QTest::mouseClick(button(host, u"back"_s), Qt::LeftButton);
    QCOMPARE(labelText(host, u"stepLabel"_s), u"TOOLS"_s);
    QCOMPARE(button(host, u"back"_s)->isVisible(), returning);
    QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
    QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
    QCOMPARE(host.engine.callCount(u"runInstall"_s), 0);

    QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
    QCOMPARE(host.engine.callCount(u"runInstall"_s), 1);
    const Setup::InstallAnswers answers = host.engine.lastCall(u"runInstall"_s).answers;
    QCOMPARE(answers.harnesses, (QStringList{u"claude-code"_s, u"codex"_s}));
    QCOMPARE(host.controller.screen(), Screen::Installing);
    if (!returning)
        QCOMPARE(answers.fields.value(u"openaiKey"_s), u"sk-test-1"_s);
    // The progress screen fades in over the questions and the fade goes away by itself.
    QTRY_VERIFY(!host.view.findChild<QWidget *>(u"crossFade"_s));
}

void TestQuestionScreens::stepGoneReturnsToTools()
{
    Host host;
    QVERIFY(openQuestions(host));
    QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
    QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
    QCOMPARE(questions(host)->step(), Wizard::QuestionStep::funding(u"openai"_s));
    // Codex was the only tool paying through "openai": its step goes, and the view with it.
    host.model()->setHarnessSelected(u"codex"_s, false);
    QCOMPARE(questions(host)->step(), Wizard::QuestionStep::tools());
    QCOMPARE(labelText(host, u"stepLabel"_s), u"TOOLS"_s);
    QCOMPARE(labelText(host, u"stepCounter"_s), u"1 OF 2"_s);
    QVERIFY(host.find<Wizard::ToolTile>(u"tile-codex"_s));
}

void TestQuestionScreens::greyInstallSaysWhy()
{
    Host host;
    QVERIFY(openQuestions(host));
    QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
    QTest::mouseClick(host.find<Wizard::FundingOptionRow>(u"option-apikey"_s), Qt::LeftButton);
    QTest::keyClicks(fieldRow(host, u"apikey"_s, u"anthropicApiKey"_s)->edit(), u"sk-live-1"_s);
    QTest::keyClicks(fieldRow(host, u"apikey"_s, u"region"_s)->edit(), u"eu"_s);
    QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
    QTest::keyClicks(fieldRow(host, u"openai"_s, u"openaiKey"_s)->edit(), u"sk-1"_s);

    // The last step is complete, the second is not: "Install" is grey and the footer says why.
    QVERIFY(!button(host, u"primary"_s)->isEnabled());
    auto *link = button(host, u"blockerStep"_s);
    QVERIFY(link->isVisible());
    QCOMPARE(link->text() + labelText(host, u"blockerReason"_s),
             u"Step 2: Anthropic API key should start with \"sk-ant-\"."_s);
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(labelText(host, u"stepCounter"_s), u"2 OF 3"_s);
    QLineEdit *key = fieldRow(host, u"apikey"_s, u"anthropicApiKey"_s)->edit();
    QCOMPARE(QApplication::focusWidget(), key);
    key->selectAll();
    QTest::keyClicks(key, u"sk-ant-1"_s);
    QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
    QVERIFY(button(host, u"primary"_s)->isEnabled());
    QVERIFY(!button(host, u"blockerStep"_s)->isVisible());
}

void TestQuestionScreens::settingsLeadBack()
{
    Host host;
    host.engine.existingInstall = true;
    host.engine.existingHarnesses = {{u"claude-code"_s, u"subscription"_s}};
    QVERIFY(host.start());
    for (const bool escape : {false, true}) {
        host.controller.openSettings();
        QCOMPARE(labelText(host, u"stepCounter"_s), u"1 OF 2"_s);
        host.model()->toggleHarness(u"codex"_s);
        // "Back" clicked, or Escape: the launcher, nothing changed.
        if (escape)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        else
            QTest::mouseClick(button(host, u"back"_s), Qt::LeftButton);
        QCOMPARE(host.controller.screen(), Screen::Launched);
        QCOMPARE(host.engine.callCount(u"runInstall"_s), 0);
        QCOMPARE(host.controller.launchedCommands(), QStringList{u"orv claude"_s});
    }
}

void TestQuestionScreens::returnKey_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("focused"); // the keyboard's widget once there
    QTest::addColumn<int>("expected");    // the screen after Return
    QTest::addColumn<QString>("step");    // the questions' counter after Return, if any

    const auto row = [](const char *name, const char *place, const char *focused, Screen screen,
                        const char *step = "") {
        QTest::newRow(name) << QString::fromUtf8(place) << QString::fromUtf8(focused)
                            << int(screen) << QString::fromUtf8(step);
    };
    // clang-format off
    row("welcome: Get started", "welcome", "getStarted", Screen::Questions, "1 OF 3");
    row("tools step: Continue", "tools", "primary", Screen::Questions, "2 OF 3");
    row("in a field: Continue", "field", "edit", Screen::Questions, "3 OF 3");
    row("focused Back: back", "back", "back", Screen::Questions, "1 OF 3");
    row("last step, incomplete: its field, nothing", "incomplete", "edit", Screen::Questions, "3 OF 3");
    row("last step, complete: Install", "complete", "edit", Screen::Installing);
    row("completion: Open Launcher", "done", "openLauncher", Screen::Launched);
    row("failure: Try again", "failed", "tryAgain", Screen::Questions, "1 OF 3");
    row("Node.js missing: Check again", "node", "checkAgain", Screen::NoNode);
    row("enterprise form by a click, empty: its address, nothing", "enterprise", "edit", Screen::Enterprise);
    row("enterprise form, filled: Continue", "enterprise-filled", "edit", Screen::Questions, "1 OF 3");
    row("launcher: the first Launch App", "launcher", "launchApp", Screen::Launched);
    // clang-format on
}

void TestQuestionScreens::returnKey()
{
    QFETCH(QString, place);
    QFETCH(int, expected);
    QFETCH(QString, step);

    Host host;
    if (place == u"node") {
        QVERIFY(host.start(false));
    } else if (place == u"launcher") {
        host.engine.existingInstall = true;
        host.engine.existingHarnesses = {{u"codex"_s, std::nullopt}};
        QVERIFY(host.start());
    } else if (place == u"welcome") {
        QVERIFY(host.start());
    } else {
        QVERIFY(openQuestions(host));
    }
    auto toLastStep = [&] {
        QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
        QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
    };
    if (place == u"field") {
        QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
        QTest::mouseClick(host.find<Wizard::FundingOptionRow>(u"option-apikey"_s), Qt::LeftButton);
        fieldRow(host, u"apikey"_s, u"region"_s)->edit()->setFocus();
    } else if (place == u"back") {
        QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
        QTest::keyClick(button(host, u"primary"_s), Qt::Key_Backtab);
    } else if (place == u"incomplete") {
        toLastStep();
    } else if (place == u"complete" || place == u"done" || place == u"failed") {
        toLastStep();
        QTest::keyClicks(fieldRow(host, u"openai"_s, u"openaiKey"_s)->edit(), u"sk-1"_s);
        if (place != u"complete") {
            QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
            if (place == u"done")
                QVERIFY(host.engine.succeed(u"runInstall"_s));
            else
                QVERIFY(host.engine.fail(u"runInstall"_s, Setup::SetupError::exitedWithStatus(1, u"no"_s)));
        }
    } else if (place.startsWith(u"enterprise")) {
        QTest::mouseClick(button(host, u"enterpriseGateway"_s), Qt::LeftButton);
        QCOMPARE(host.controller.screen(), Screen::Enterprise);
        // Typed straight away, the address lands in its field.
        QTest::keyClicks(QApplication::focusWidget(), u"https://gw.example"_s);
        QCOMPARE(host.find<Wizard::LabeledField>(u"gatewayUrl"_s)->text(), u"https://gw.example"_s);
        if (place == u"enterprise-filled")
            QTest::keyClicks(host.find<Wizard::LabeledField>(u"email"_s)->edit(), u"a@b"_s);
    }
    QWidget *focused = QApplication::focusWidget();
    QVERIFY(focused && focused->window()->isActiveWindow());
    QTEST(focused->objectName(), "focused");

    QTest::keyClick(focused, Qt::Key_Return);
    QCOMPARE(int(host.controller.screen()), expected);
    if (!step.isEmpty())
        QCOMPARE(labelText(host, u"stepCounter"_s), step);
}

void TestQuestionScreens::keyboardOrderAndSpace()
{
    Host host;
    QVERIFY(openQuestions(host));
    auto *first = host.find<Wizard::ToolTile>(u"tile-claude-code"_s);
    first->setFocus(Qt::TabFocusReason);
    QStringList order{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.append(QApplication::focusWidget()->objectName());
    }
    // Top to bottom, left to right; "Back" is hidden on the first step.
    QCOMPARE(order, (QStringList{u"tile-claude-code"_s, u"tile-codex"_s, u"tile-opencode"_s,
                                 u"tile-plain"_s, u"primary"_s, u"enterpriseGateway"_s}));

    // Space toggles the focused tile.
    auto *opencode = host.find<Wizard::ToolTile>(u"tile-opencode"_s);
    opencode->setFocus(Qt::TabFocusReason);
    QTest::keyClick(opencode, Qt::Key_Space);
    QVERIFY(host.model()->isHarnessSelected(u"opencode"_s));
    QVERIFY(opencode->isChecked());

    // Space on the focused primary button moves on; the funding step's order starts with its
    // options and ends with the footer.
    auto *primary = button(host, u"primary"_s);
    primary->setFocus(Qt::TabFocusReason);
    QTest::keyClick(primary, Qt::Key_Space);
    QCOMPARE(labelText(host, u"stepCounter"_s), u"2 OF 3"_s);
    auto *subscription = host.find<Wizard::FundingOptionRow>(u"option-subscription"_s);
    subscription->setFocus(Qt::TabFocusReason);
    QTest::keyClick(subscription, Qt::Key_Space);
    QVERIFY(!host.model()->isFundingSelected(u"subscription"_s, u"claude"_s));
    QTest::keyClick(subscription, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), u"option-apikey"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    // The chosen option's first field comes right after it.
    QCOMPARE(QApplication::focusWidget(), fieldRow(host, u"apikey"_s, u"anthropicApiKey"_s)->edit());
    // Round the whole screen, the scroll area around the options is never a stop of its own.
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY2(!qobject_cast<QAbstractScrollArea *>(QApplication::focusWidget()),
                 qPrintable(QApplication::focusWidget()->objectName()));
    }
}

void TestQuestionScreens::validationAppearsAsTyped_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("configKey");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("complains");

    QTest::newRow("wrong prefix") << u"apikey"_s << u"anthropicApiKey"_s << u"sk-live-1"_s << true;
    QTest::newRow("right prefix") << u"apikey"_s << u"anthropicApiKey"_s << u"sk-ant-1"_s << false;
    QTest::newRow("plain http") << u"claude-proxy"_s << u"proxyUrl"_s << u"http://proxy"_s << true;
    QTest::newRow("https") << u"claude-proxy"_s << u"proxyUrl"_s << u"https://proxy"_s << false;
}

void TestQuestionScreens::validationAppearsAsTyped()
{
    QFETCH(QString, option);
    QFETCH(QString, configKey);
    QFETCH(QString, typed);
    QFETCH(bool, complains);

    Host host;
    QVERIFY(openQuestions(host));
    QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
    QTest::mouseClick(host.find<Wizard::FundingOptionRow>(u"option-"_s + option), Qt::LeftButton);
    Wizard::FieldRow *row = fieldRow(host, option, configKey);
    QVERIFY(row && row->isVisible());
    QCOMPARE(row->message(), QString());
    auto *shown = row->findChild<QLabel *>(u"message"_s);

    // Every keystroke is judged: the message follows the text as it grows.
    for (qsizetype n = 1; n <= typed.size(); ++n) {
        QTest::keyClick(row->edit(), typed.at(n - 1).toLatin1());
        const std::optional<QString> rule = row->field().validate(typed.left(n));
        QCOMPARE(row->message(), rule.value_or(QString()));
        QCOMPARE(shown->isVisible(), rule.has_value());
    }
    QCOMPARE(!row->message().isEmpty(), complains);
    if (complains)
        QVERIFY(row->message().startsWith(row->field().label));
    QCOMPARE(host.model()->fieldValue(row->field()), typed);
}

void TestQuestionScreens::unselectedOptionKeepsItsValues()
{
    Host host;
    QVERIFY(openQuestions(host));
    QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
    auto *apikey = host.find<Wizard::FundingOptionRow>(u"option-apikey"_s);
    auto *proxy = host.find<Wizard::FundingOptionRow>(u"option-claude-proxy"_s);
    // The rows leave the scroll bar its room, shown or not, so they never change width.
    auto *options = host.find<QScrollArea>(u"options"_s);
    const int rowWidth = options->width() - options->verticalScrollBar()->sizeHint().width();
    QTRY_COMPARE(apikey->width(), rowWidth);
    QVERIFY(!host.find<QWidget>(u"fields-apikey"_s)->isVisible());
    QTest::mouseClick(apikey, Qt::LeftButton);
    QVERIFY(host.find<QWidget>(u"fields-apikey"_s)->isVisible());
    QLineEdit *key = fieldRow(host, u"apikey"_s, u"anthropicApiKey"_s)->edit();
    QCOMPARE(key->echoMode(), QLineEdit::Password);
    // A secret shows as dots the field's own face has, not as big ones borrowed from another.
    const QChar dot(key->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, key));
    QVERIFY(QRawFont::fromFont(key->font()).supportsCharacter(dot));
    QTest::keyClicks(key, u"sk-ant-kept"_s);
    QTest::keyClicks(fieldRow(host, u"apikey"_s, u"region"_s)->edit(), u"eu"_s);
    QCOMPARE(labelText(host, u"order"_s), u"Subscription \u2192 API key"_s);

    // The same field under a second chosen option shows and edits the one value.
    QTest::mouseClick(proxy, Qt::LeftButton);
    QLineEdit *otherRegion = fieldRow(host, u"claude-proxy"_s, u"region"_s)->edit();
    QCOMPARE(otherRegion->echoMode(), QLineEdit::Normal);
    QCOMPARE(otherRegion->text(), u"eu"_s);
    QTRY_VERIFY(options->verticalScrollBar()->isVisible());
    QTRY_COMPARE(apikey->width(), rowWidth);
    QTest::keyClicks(otherRegion, u"-west"_s);
    QCOMPARE(fieldRow(host, u"apikey"_s, u"region"_s)->edit()->text(), u"eu-west"_s);

    QTest::mouseClick(apikey, Qt::LeftButton);
    QVERIFY(!host.find<QWidget>(u"fields-apikey"_s)->isVisible());
    QCOMPARE(labelText(host, u"order"_s), u"Subscription \u2192 Proxy"_s);
    // Away to the next step and back: the step is rebuilt from the model.
    QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
    QTest::mouseClick(button(host, u"back"_s), Qt::LeftButton);
    QTest::mouseClick(host.find<Wizard::FundingOptionRow>(u"option-apikey"_s), Qt::LeftButton);
    QCOMPARE(fieldRow(host, u"apikey"_s, u"anthropicApiKey"_s)->edit()->text(), u"sk-ant-kept"_s);
    QCOMPARE(fieldRow(host, u"apikey"_s, u"region"_s)->edit()->text(), u"eu-west"_s);
}

void TestQuestionScreens::answersAreTrimmed()
{
    Host host;
    QVERIFY(openQuestions(host));
    QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
    QTest::mouseClick(host.find<Wizard::FundingOptionRow>(u"option-subscription"_s), Qt::LeftButton);
    QTest::mouseClick(host.find<Wizard::FundingOptionRow>(u"option-apikey"_s), Qt::LeftButton);
    // Typed with a space and a no-break space after it: the questions trim both.
    QTest::keyClicks(fieldRow(host, u"apikey"_s, u"anthropicApiKey"_s)->edit(), u"sk-ant-1 \u00a0"_s);
    QTest::keyClicks(fieldRow(host, u"apikey"_s, u"region"_s)->edit(), u"  eu "_s);
    QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
    QTest::keyClicks(fieldRow(host, u"openai"_s, u"openaiKey"_s)->edit(), u"sk-2"_s);
    QTest::mouseClick(button(host, u"primary"_s), Qt::LeftButton);
    QCOMPARE(host.engine.callCount(u"runInstall"_s), 1);
    const auto fields = host.engine.lastCall(u"runInstall"_s).answers.fields;
    QCOMPARE(fields.value(u"anthropicApiKey"_s), u"sk-ant-1"_s);
    QCOMPARE(fields.value(u"region"_s), u"eu"_s);
}

void TestQuestionScreens::enterpriseForm_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("storedUrl");
    QTest::addColumn<QString>("storedEmail");

    QTest::newRow("spaces around both")
        << u"  https://gw.example  "_s << u" dana@corp "_s << true << u"https://gw.example"_s
        << u"dana@corp"_s;
    QTest::newRow("e-mail without @") << u"https://gw.example"_s << u"dana.corp"_s << false
                                      << QString() << QString();
}

void TestQuestionScreens::enterpriseForm()
{
    QFETCH(QString, url);
    QFETCH(QString, email);
    QFETCH(bool, enabled);
    QFETCH(QString, storedUrl);
    QFETCH(QString, storedEmail);

    Host host;
    QVERIFY(openQuestions(host));
    QTest::mouseClick(host.find<Wizard::ToolTile>(u"tile-opencode"_s), Qt::LeftButton);
    QTest::mouseClick(button(host, u"enterpriseGateway"_s), Qt::LeftButton);
    QCOMPARE(host.controller.screen(), Screen::Enterprise);
    auto *cont = button(host, u"continue"_s);
    QVERIFY(!cont->isEnabled());
    QTest::keyClicks(host.find<Wizard::LabeledField>(u"gatewayUrl"_s)->edit(), url);
    QTest::keyClicks(host.find<Wizard::LabeledField>(u"email"_s)->edit(), email);
    QCOMPARE(cont->isEnabled(), enabled);

    QTest::mouseClick(cont, Qt::LeftButton);
    if (!enabled) {
        QCOMPARE(host.controller.screen(), Screen::Enterprise);
        QVERIFY(!host.model()->gateway());
        // "Back" returns to the questions as they were.
        QTest::mouseClick(button(host, u"back"_s), Qt::LeftButton);
        QCOMPARE(host.controller.screen(), Screen::Questions);
        QVERIFY(button(host, u"enterpriseGateway"_s)->isVisible());
        return;
    }
    QCOMPARE(host.controller.screen(), Screen::Questions);
    QCOMPARE(host.model()->gateway(), (Wizard::EnterpriseGateway{storedUrl, storedEmail}));
    // Fresh questions for the organisation's gateway, which offer no second gateway but say
    // which one is set; the tool picked before is still picked.
    QCOMPARE(labelText(host, u"stepCounter"_s), u"1 OF 3"_s);
    QVERIFY(!button(host, u"enterpriseGateway"_s)->isVisible());
    QCOMPARE(labelText(host, u"gateway"_s), u"Gateway: gw.example"_s);
    QVERIFY(host.model()->isHarnessSelected(u"opencode"_s));

    // "Change" shows the gateway in the form; "Back" leaves it as it was.
    QTest::mouseClick(button(host, u"changeGateway"_s), Qt::LeftButton);
    QCOMPARE(host.controller.screen(), Screen::Enterprise);
    QCOMPARE(host.find<Wizard::LabeledField>(u"gatewayUrl"_s)->text(), storedUrl);
    QTest::mouseClick(button(host, u"back"_s), Qt::LeftButton);
    QCOMPARE(labelText(host, u"gateway"_s), u"Gateway: gw.example"_s);

    // "Remove": the hosted questions, the tools as they were.
    QTest::mouseClick(button(host, u"removeGateway"_s), Qt::LeftButton);
    QCOMPARE(host.controller.screen(), Screen::Questions);
    QVERIFY(!host.model()->gateway());
    QVERIFY(!host.find<QLabel>(u"gateway"_s));
    QVERIFY(button(host, u"enterpriseGateway"_s)->isVisible());
    QVERIFY(host.model()->isHarnessSelected(u"opencode"_s));
}

QTEST_MAIN(TestQuestionScreens)
#include "tst_questionscreens.moc"

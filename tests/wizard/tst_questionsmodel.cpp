// The questions model against the manifest written for these cases, and the wizard's text
// rules: its two trimmings, the launcher's rows and its version line.

#include "QuestionsManifest.h"
#include "wizard/LauncherRow.h"
#include "wizard/QuestionsModel.h"
#include "wizard/TextTrimming.h"

#include <QSignalSpy>
#include <QTest>

using Wizard::QuestionsModel;
using Wizard::QuestionStep;
using namespace Qt::StringLiterals;
using FundingMap = QMap<QString, QStringList>;

namespace {

using QuestionsManifest::existingFrom;
using QuestionsManifest::listOf;

QStringList sortedIds(const QSet<QString> &ids)
{
    QStringList list(ids.begin(), ids.end());
    list.sort();
    return list;
}

FundingMap fundingOf(const QuestionsModel &model)
{
    FundingMap funding;
    for (auto it = model.selectedFunding().cbegin(); it != model.selectedFunding().cend(); ++it)
        funding.insert(it.key(), sortedIds(it.value()));
    return funding;
}

// A model on the test manifest, for `gateway` when given, with exactly `harnesses` selected,
// then `toggles` ("group:option") applied and `values` ("configKey=text") typed.
std::unique_ptr<QuestionsModel>
modelWith(const QStringList &harnesses, const QStringList &toggles = {},
          const QStringList &values = {},
          const std::optional<Wizard::EnterpriseGateway> &gateway = {})
{
    auto model =
        std::make_unique<QuestionsModel>(QuestionsManifest::manifest(), QList<Manifest::ManifestHarness>{},
                                         QList<Setup::ExistingHarness>{}, gateway);
    for (const QString &id : sortedIds(model->selectedHarnesses()))
        model->setHarnessSelected(id, false);
    for (const QString &id : harnesses)
        model->setHarnessSelected(id, true);
    for (const QString &toggle : toggles)
        model->toggleFunding(toggle.section(QLatin1Char(':'), 1),
                             toggle.section(QLatin1Char(':'), 0, 0));
    // The model keeps a value under its field's config key.
    for (const QString &value : values) {
        Manifest::ManifestField field;
        field.configKey = value.section(u'=', 0, 0);
        model->setFieldValue(field, value.section(u'=', 1));
    }
    return model;
}

} // namespace

class TestQuestionsModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void creation_data();
    void creation();
    void steps_data();
    void steps();
    void fields_data();
    void fields();
    void canSubmit_data();
    void canSubmit();
    void answers_data();
    void answers();
    void notifiesRealChangesOnly();
    void trimming_data();
    void trimming();
    void launcherRows_data();
    void launcherRows();
    void versionLine_data();
    void versionLine();
};

void TestQuestionsModel::creation_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QStringList>("detected");
    QTest::addColumn<bool>("privateGateway");
    QTest::addColumn<QStringList>("harnesses");
    QTest::addColumn<FundingMap>("funding");

    const FundingMap defaults{{u"claude"_s, {u"subscription"_s}},
                              {u"openai"_s, {u"openai"_s}},
                              {u"empty"_s, {}},
                              {u"shared"_s, {u"regional"_s}}};
    auto with = [&](const QString &group, const QStringList &ids) {
        FundingMap funding = defaults;
        funding.insert(group, ids);
        return funding;
    };
    const auto row = [](const char *name, const char *existing, const char *detected, bool gateway,
                        const char *harnesses, const FundingMap &funding) {
        QTest::newRow(name) << listOf(existing) << listOf(detected) << gateway << listOf(harnesses)
                            << funding;
    };
    // clang-format off
    row("nothing found: the manifest's defaults", "", "", false, "claude-code,codex", defaults);
    row("detected tools over the defaults", "", "claude-code,opencode", false, "claude-code,opencode", defaults);
    row("existing tools over detected ones, funding kept", "codex:openrouter", "claude-code", false, "codex", with(u"openai"_s, {u"openrouter"_s}));
    row("existing ids the manifest no longer lists", "gone,codex", "claude-code", false, "codex,gone", defaults);
    row("recorded funding no longer offered: the default", "codex:retired", "", false, "codex", defaults);
    row("first existing harness of a group decides, even without funding", "opencode,codex:openrouter", "", false, "codex,opencode", defaults);
    row("existing funding from the group of the harness, not the option's name", "claude-code:openrouter", "", false, "claude-code", defaults);
    FundingMap proxies = with(u"claude"_s, {u"claude-proxy"_s});
    proxies.insert(u"openai"_s, {u"openai-proxy"_s});
    row("private gateway: the first -proxy option, else the first option", "", "", true, "claude-code,codex", proxies);
    proxies.insert(u"claude"_s, {u"apikey"_s});
    row("private gateway: existing funding still wins", "claude-code:apikey", "", true, "claude-code", proxies);
    // clang-format on
}

void TestQuestionsModel::creation()
{
    QFETCH(QStringList, existing);
    QFETCH(QStringList, detected);
    QFETCH(bool, privateGateway);

    QList<Manifest::ManifestHarness> found(detected.size()); // the model reads their ids only
    for (qsizetype i = 0; i < detected.size(); ++i)
        found[i].id = detected.at(i);
    const QuestionsModel model(
        QuestionsManifest::manifest(), found, existingFrom(existing),
        privateGateway ? std::optional(Wizard::EnterpriseGateway{u"https://gw"_s, u"a@b"_s})
                       : std::nullopt);
    QTEST(sortedIds(model.selectedHarnesses()), "harnesses");
    QTEST(fundingOf(model), "funding");
    QCOMPARE(model.isReturning(), !existing.isEmpty());
}

void TestQuestionsModel::steps_data()
{
    QTest::addColumn<QStringList>("harnesses");
    QTest::addColumn<QStringList>("groups");

    const auto row = [](const char *name, const char *harnesses, const char *groups) {
        QTest::newRow(name) << listOf(harnesses) << listOf(groups);
    };
    row("two tools of one group: one step", "opencode,codex", "openai");
    row("manifest order, not selection order", "opencode,claude-code", "claude,openai");
    row("a tool without a group adds no step", "plain", "");
    row("a group the manifest lacks still gets its step", "aider,plain", "ghost");
}

void TestQuestionsModel::steps()
{
    QFETCH(QStringList, harnesses);
    QFETCH(QStringList, groups);

    const auto model = modelWith(harnesses);
    QCOMPARE(model->activeFundingGroups(), groups);
    QList<QuestionStep> expected{QuestionStep::tools()};
    for (const QString &group : groups)
        expected.append(QuestionStep::funding(group));
    QCOMPARE(model->steps(), expected);
}

void TestQuestionsModel::fields_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<QStringList>("toggles");
    QTest::addColumn<QStringList>("keys");

    const auto row = [](const char *name, const char *group, const char *toggles, const char *keys) {
        QTest::newRow(name) << QString::fromUtf8(group) << listOf(toggles) << listOf(keys);
    };
    // clang-format off
    row("a shared field once, where it first appears", "claude", "claude:subscription,claude:claude-proxy,claude:apikey", "anthropicApiKey,region,proxyUrl");
    row("one option alone keeps its own order", "claude", "claude:subscription,claude:claude-proxy", "proxyUrl,region");
    row("an option without fields", "claude", "", "");
    row("an id toggled in that is no option of the group", "openai", "openai:openai,openai:apikey", "");
    row("a group the manifest lacks", "ghost", "ghost:apikey", "");
    // clang-format on
}

void TestQuestionsModel::fields()
{
    QFETCH(QString, group);
    QFETCH(QStringList, toggles);

    const auto model = modelWith({u"claude-code"_s}, toggles);
    QStringList found;
    for (const Manifest::ManifestField &field : model->fields(group))
        found.append(field.configKey);
    QTEST(found, "keys");
}

void TestQuestionsModel::canSubmit_data()
{
    QTest::addColumn<QStringList>("harnesses");
    QTest::addColumn<QStringList>("toggles");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("blocker"); // "step/field/reason"; empty: the answers can go

    const auto row = [](const char *name, const char *harnesses, const char *toggles,
                        const char *values, const char *blocker) {
        QTest::newRow(name) << listOf(harnesses) << listOf(toggles) << listOf(values)
                            << QString::fromUtf8(blocker);
    };
    // clang-format off
    row("required field untouched", "codex", "", "", "2/openaiKey/OpenAI API key is needed.");
    row("blanks around a value are ignored", "codex", "", "openaiKey= \t sk-1\r\n", "");
    row("blanks only count as empty", "codex", "", "openaiKey= \n\t ", "2/openaiKey/OpenAI API key is needed.");
    row("an invalid value", "codex", "", "openaiKey=pk-1", "2/openaiKey/OpenAI API key should start with \"sk-\".");
    row("no tool, even with every field filled", "", "", "openaiKey=sk-1", "1//Choose at least one tool.");
    row("the group's only option toggled off", "codex", "openai:openai", "openaiKey=sk-1", "2//Tick at least one funding option.");
    row("an option without fields", "codex", "openai:openrouter,openai:openai", "", "");
    row("a group the manifest lacks", "aider", "", "", "2//This step offers nothing to choose.");
    row("a group without options", "lonely,plain", "", "", "2//Tick at least one funding option.");
    row("every field of every chosen option is required", "claude-code", "claude:subscription,claude:claude-proxy", "proxyUrl=https://proxy.example", "2/region/Region is needed.");
    row("all filled and valid", "claude-code", "claude:subscription,claude:claude-proxy", "proxyUrl=https://proxy.example,region=eu", "");
    row("a field's own rule", "claude-code", "claude:subscription,claude:claude-proxy", "proxyUrl=http://proxy.example,region=eu", "2/proxyUrl/Proxy URL must be an https:// URL.");
    row("a second active group still missing its field", "claude-code,codex", "", "", "3/openaiKey/OpenAI API key is needed.");
    row("the earlier step's fault is named first", "claude-code,codex", "claude:subscription,claude:apikey", "anthropicApiKey=sk-1,region=eu,openaiKey=sk-2", "2/anthropicApiKey/Anthropic API key should start with \"sk-ant-\".");
    // clang-format on
}

void TestQuestionsModel::canSubmit()
{
    QFETCH(QStringList, harnesses);
    QFETCH(QStringList, toggles);
    QFETCH(QStringList, values);
    QFETCH(QString, blocker);

    const auto model = modelWith(harnesses, toggles, values);
    const std::optional<Wizard::SubmitBlocker> found = model->submitBlocker();
    QCOMPARE(found ? u"%1/%2/%3"_s.arg(found->step).arg(found->configKey, found->reason) : QString(),
             blocker);
    QCOMPARE(model->canSubmit(), blocker.isEmpty());
}

void TestQuestionsModel::answers_data()
{
    QTest::addColumn<QStringList>("harnesses");
    QTest::addColumn<QStringList>("toggles");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QStringList>("gateway"); // url and e-mail; empty: none
    QTest::addColumn<QString>("answers");     // "tools | group:options ... | key=value ..."

    const auto row = [](const char *name, const char *harnesses, const char *toggles,
                        const QStringList &values, const char *answers, const QStringList &gateway = {}) {
        QTest::newRow(name) << listOf(harnesses) << listOf(toggles) << values << gateway
                            << QString::fromUtf8(answers);
    };
    // clang-format off
    row("config keys, manifest option order, trimmed fields of chosen options only", "codex,claude-code", "claude:claude-proxy,claude:apikey",
        {u"anthropicApiKey=  sk-ant-1\n"_s, u"region=\u00a0eu "_s, u"openaiKey=sk-2"_s, u"proxyUrl=https://p.example"_s},
        "claude-code,codex | anthropic:subscription,apikey,claude-proxy openai:openai | anthropicApiKey=sk-ant-1 openaiKey=sk-2 proxyUrl=https://p.example region=eu");
    row("typed values of unchosen options and unused groups left out", "codex", "claude:apikey,openai:openai,openai:openrouter",
        {u"anthropicApiKey=sk-ant-1"_s, u"openaiKey=sk-2"_s}, "codex | openai:openrouter | ");
    row("a field never typed into goes as empty text", "opencode", "", {}, "opencode | openai:openai | openaiKey=");
    row("a group without options, and one the manifest lacks", "lonely,aider", "", {}, "aider,lonely | empty: | ");
    row("a field two groups ask for goes once", "mixer,claude-code", "claude:apikey", {u"anthropicApiKey=sk-ant-1"_s, u"region= eu\n"_s},
        "claude-code,mixer | anthropic:subscription,apikey shared:regional | anthropicApiKey=sk-ant-1 region=eu");
    row("tools in manifest order, unlisted ones after, sorted", "zeta,plain,gone,claude-code", "", {},
        "claude-code,plain,gone,zeta | anthropic:subscription | ");
    row("an enterprise gateway's address and e-mail, as entered", "plain", "", {},
        "plain |  | email= a@b gatewayBaseUrl=https://gw ", {u"https://gw "_s, u" a@b"_s});
    // clang-format on
}

void TestQuestionsModel::answers()
{
    QFETCH(QStringList, harnesses);
    QFETCH(QStringList, toggles);
    QFETCH(QStringList, values);
    QFETCH(QStringList, gateway);

    const auto entered =
        gateway.isEmpty() ? std::nullopt
                          : std::optional(Wizard::EnterpriseGateway{gateway.at(0), gateway.at(1)});
    const Setup::InstallAnswers built = modelWith(harnesses, toggles, values, entered)->answers();
    QStringList funding, fields;
    for (const auto &[group, options] : built.fundingByGroup.asKeyValueRange())
        funding << group + u':' + options.join(u',');
    for (const auto &[key, value] : built.fields.asKeyValueRange())
        fields << key + u'=' + value;
    QTEST(QString(built.harnesses.join(u',') + u" | "_s + funding.join(u' ') + u" | "_s +
                  fields.join(u' ')),
          "answers");
}

void TestQuestionsModel::notifiesRealChangesOnly()
{
    const auto model = modelWith({u"codex"_s});
    QSignalSpy harnesses(model.get(), &QuestionsModel::selectedHarnessesChanged);
    QSignalSpy funding(model.get(), &QuestionsModel::selectedFundingChanged);
    QSignalSpy values(model.get(), &QuestionsModel::fieldValuesChanged);
    Manifest::ManifestField key;
    key.configKey = u"openaiKey"_s;

    model->setHarnessSelected(u"codex"_s, true);
    model->setFieldValue(key, u" sk-1 "_s);
    model->setFieldValue(key, u" sk-1 "_s);
    model->toggleHarness(u"plain"_s);
    model->toggleFunding(u"openai"_s, u"openai"_s);
    model->toggleFunding(u"openai"_s, u"openai"_s);

    QCOMPARE(harnesses.count(), 1);
    QCOMPARE(values.count(), 1);
    QCOMPARE(values.at(0).at(0).toString(), u"openaiKey"_s);
    QCOMPARE(funding.count(), 2);
    QCOMPARE(funding.at(1).at(0).toString(), u"openai"_s);
    // Stored exactly as typed; trimmed only on the way out.
    QCOMPARE(model->fieldValue(key), u" sk-1 "_s);
    QVERIFY(model->isFundingSelected(u"openai"_s, u"openai"_s));
    QVERIFY(!model->isFundingSelected(u"openai"_s, u"ghost"_s));
}

void TestQuestionsModel::trimming_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("questions");  // whitespace and newlines
    QTest::addColumn<QString>("enterprise"); // spaces and tabs

    QTest::newRow("spaces and tabs") << u" \t a b\t "_s << u"a b"_s << u"a b"_s;
    QTest::newRow("blanks only") << u" \t "_s << QString() << QString();
    QTest::newRow("line ends") << u"\r\n x \n"_s << u"x"_s << u"\r\n x \n"_s;
    QTest::newRow("Unicode spaces and separators")
        << QStringLiteral("\u00a0\u2003x\u3000\u2028\u2029") << u"x"_s
        << QStringLiteral("\u00a0\u2003x\u3000\u2028\u2029");
    QTest::newRow("a zero-width space is not a blank")
        << QStringLiteral("\u200bx ") << QStringLiteral("\u200bx") << QStringLiteral("\u200bx");
    QTest::newRow("inner blanks stay") << u"a \n b"_s << u"a \n b"_s << u"a \n b"_s;
}

void TestQuestionsModel::trimming()
{
    QFETCH(QString, text);
    QFETCH(QString, questions);
    QFETCH(QString, enterprise);

    QCOMPARE(Wizard::trimWhitespaceAndNewlines(text), questions);
    QCOMPARE(Wizard::trimSpacesAndTabs(text), enterprise);
    // The enterprise form needs an address left after its trimming, and an @ in the e-mail.
    QCOMPARE(Wizard::enterpriseFormCanContinue(text, u" @ "_s), !enterprise.isEmpty());
    QVERIFY(!Wizard::enterpriseFormCanContinue(u"gw"_s, text));
}

void TestQuestionsModel::launcherRows_data()
{
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QStringList>("rows"); // "code/name/command" of each row

    // clang-format off
    const auto row = [](const char *name, const char *commands, const char *rows) {
        QTest::newRow(name) << listOf(commands) << listOf(rows);
    };
    row("three tools", "orv claude,orv codex,orv opencode", "CC/Claude Code/orv claude,CX/Codex/orv codex,OC/OpenCode/orv opencode");
    row("no second word", "orv,orv ,orv codex", "CX/Codex/orv codex");
    row("capitals and unknown words", "orv Claude,orv CODEX,orv gemini,orv opencode", "OC/OpenCode/orv opencode");
    row("spaces kept in the command, third word ignored", "  orv   claude --resume ", "CC/Claude Code/  orv   claude --resume ");
    // clang-format on
}

void TestQuestionsModel::launcherRows()
{
    QFETCH(QStringList, commands);
    QStringList rows;
    for (const Wizard::LauncherRow &row : Wizard::launcherRows(commands))
        rows << row.code + u'/' + row.name + u'/' + row.command;
    QTEST(rows, "rows");
}

void TestQuestionsModel::versionLine_data()
{
    QTest::addColumn<QString>("installed"); // "-" for unknown
    QTest::addColumn<QString>("latest");
    QTest::addColumn<QString>("line");

    QTest::newRow("update available") << "1.2.0" << "1.10.0" << "Orvane 1.2.0 \u00B7 update available: 1.10.0";
    QTest::newRow("up to date") << "1.2.0" << "1.2.0" << "Orvane 1.2.0 \u00B7 up to date";
    QTest::newRow("installed newer than the registry") << "2.0.0" << "1.9.9" << "Orvane 2.0.0 \u00B7 up to date";
    QTest::newRow("latest unknown") << "1.2.0" << "-" << "Orvane 1.2.0";
    QTest::newRow("installed unknown") << "-" << "3.0.0" << "Orvane \u00B7 checking for updates";
}

void TestQuestionsModel::versionLine()
{
    QFETCH(QString, installed);
    QFETCH(QString, latest);
    const auto known = [](const QString &v) { return v == u"-" ? std::nullopt : std::optional(v); };
    QTEST(Wizard::versionLine({known(installed), known(latest)}), "line");
}

QTEST_GUILESS_MAIN(TestQuestionsModel)
#include "tst_questionsmodel.moc"

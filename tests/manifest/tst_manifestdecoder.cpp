#include "manifest/ManifestDecoder.h"
#include "manifest/ManifestLoader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using Kind = ManifestDecodeError::Kind;

namespace {

// Every key of the format, with an extra harness whose funding group is not listed.
constexpr char fixture[] = R"({
  "schema_version": 1,
  "default_harness_ids": ["alpha"],
  "harnesses": [
    {"id": "alpha", "name": "Alpha", "config_paths": ["~/.alpha", "/etc/alpha"],
     "orv_command": "orv alpha", "funding_group": "pay"},
    {"id": "beta", "name": "Beta", "config_paths": [], "funding_group": "nowhere"}
  ],
  "funding_groups": {
    "pay": {"config_key": "payment", "title": "How do you pay?", "options": [
      {"id": "plan", "name": "Plan", "fields": []},
      {"id": "key", "name": "Key", "fields": [
        {"config_key": "apiKey", "label": "API key", "secret": true, "placeholder": "k-…",
         "prefix": "k-", "requires_https": false},
        {"config_key": "url", "label": "URL", "secret": false, "requires_https": true}
      ]}
    ]},
    "empty": {"config_key": "empty", "title": "Nothing", "options": []}
  },
  "advanced": {"title": "More", "description": "Rarely needed.",
               "fields": [{"config_key": "port", "label": "Port", "secret": false}]}
})";

QJsonObject fixtureObject()
{
    return QJsonDocument::fromJson(QByteArray(fixture)).object();
}

// VALUE placed at PATH ("harnesses/1/name"); an undefined VALUE removes the member or element.
QJsonValue edited(const QJsonValue &node, QStringView path, const QJsonValue &value)
{
    const qsizetype slash = path.indexOf(QLatin1Char('/'));
    const QString head = path.left(slash).toString();
    const QStringView rest = slash < 0 ? QStringView() : path.mid(slash + 1);
    if (node.isArray()) {
        QJsonArray array = node.toArray();
        const qsizetype index = head.toInt();
        if (!rest.isEmpty())
            array[index] = edited(array.at(index), rest, value);
        else if (value.isUndefined())
            array.removeAt(index);
        else
            array[index] = value;
        return array;
    }
    QJsonObject object = node.toObject();
    if (!rest.isEmpty())
        object[head] = edited(object.value(head), rest, value);
    else if (value.isUndefined())
        object.remove(head);
    else
        object[head] = value;
    return object;
}

QByteArray fixtureWith(const QString &path, const QJsonValue &value)
{
    return QJsonDocument(edited(fixtureObject(), path, value).toObject()).toJson();
}

const QJsonValue absent(QJsonValue::Undefined);
const QJsonValue null(QJsonValue::Null);

ManifestField field(QString configKey, QString label, bool secret)
{
    return ManifestField{std::move(configKey), std::move(label), secret, {}, {}, {}};
}

} // namespace

class TestManifestDecoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesEveryKey();
    void refusesDocument_data();
    void refusesDocument();
    void refusesMalformedJson_data();
    void refusesMalformedJson();
    void optionalKeyNullOrAbsent_data();
    void optionalKeyNullOrAbsent();
    void ignoresUnknownKeys_data();
    void ignoresUnknownKeys();
    void checksSchemaVersion_data();
    void checksSchemaVersion();
    void describesUnsupportedSchema_data();
    void describesUnsupportedSchema();
};

void TestManifestDecoder::decodesEveryKey()
{
    ManifestField apiKey = field(QStringLiteral("apiKey"), QStringLiteral("API key"), true);
    apiKey.placeholder = QStringLiteral("k-…");
    apiKey.prefix = QStringLiteral("k-");
    apiKey.requiresHttps = false;
    ManifestField url = field(QStringLiteral("url"), QStringLiteral("URL"), false);
    url.requiresHttps = true;

    InstallManifest expected;
    expected.schemaVersion = 1;
    expected.defaultHarnessIds = {QStringLiteral("alpha")};
    expected.harnesses = {
        {QStringLiteral("alpha"),
         QStringLiteral("Alpha"),
         {QStringLiteral("~/.alpha"), QStringLiteral("/etc/alpha")},
         QStringLiteral("orv alpha"),
         QStringLiteral("pay")},
        {QStringLiteral("beta"),
         QStringLiteral("Beta"),
         {},
         std::nullopt,
         QStringLiteral("nowhere")},
    };
    expected.fundingGroups.insert(
        QStringLiteral("pay"), {QStringLiteral("payment"),
                                QStringLiteral("How do you pay?"),
                                {{QStringLiteral("plan"), QStringLiteral("Plan"), {}},
                                 {QStringLiteral("key"), QStringLiteral("Key"), {apiKey, url}}}});
    expected.fundingGroups.insert(QStringLiteral("empty"),
                                  {QStringLiteral("empty"), QStringLiteral("Nothing"), {}});
    expected.advanced = {QStringLiteral("More"),
                         QStringLiteral("Rarely needed."),
                         {field(QStringLiteral("port"), QStringLiteral("Port"), false)}};

    const auto decoded = ManifestDecoder::decode(QByteArray(fixture));
    QVERIFY(decoded.has_value());
    QCOMPARE(decoded->harnesses, expected.harnesses);
    QCOMPARE(decoded->fundingGroups.keys(), expected.fundingGroups.keys());
    QCOMPARE(decoded->fundingGroups.value(QStringLiteral("pay")).options.at(1).fields,
             expected.fundingGroups.value(QStringLiteral("pay")).options.at(1).fields);
    QVERIFY(*decoded == expected);
}

void TestManifestDecoder::refusesDocument_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("failedAt");

    const auto missing = [](const char *path, const char *failedAt) {
        QTest::addRow("missing %s", path) << QString::fromLatin1(path) << absent << Kind::MissingKey
                                          << QString::fromLatin1(failedAt);
    };
    missing("schema_version", "schema_version");
    missing("default_harness_ids", "default_harness_ids");
    missing("harnesses", "harnesses");
    missing("funding_groups", "funding_groups");
    missing("advanced", "advanced");
    missing("harnesses/0/id", "harnesses[0].id");
    missing("harnesses/1/name", "harnesses[1].name");
    missing("harnesses/0/config_paths", "harnesses[0].config_paths");
    missing("funding_groups/pay/config_key", "funding_groups.pay.config_key");
    missing("funding_groups/pay/title", "funding_groups.pay.title");
    missing("funding_groups/empty/options", "funding_groups.empty.options");
    missing("funding_groups/pay/options/1/id", "funding_groups.pay.options[1].id");
    missing("funding_groups/pay/options/0/name", "funding_groups.pay.options[0].name");
    missing("funding_groups/pay/options/0/fields", "funding_groups.pay.options[0].fields");
    missing("funding_groups/pay/options/1/fields/0/config_key",
            "funding_groups.pay.options[1].fields[0].config_key");
    missing("funding_groups/pay/options/1/fields/1/label",
            "funding_groups.pay.options[1].fields[1].label");
    missing("funding_groups/pay/options/1/fields/0/secret",
            "funding_groups.pay.options[1].fields[0].secret");
    missing("advanced/title", "advanced.title");
    missing("advanced/description", "advanced.description");
    missing("advanced/fields", "advanced.fields");
    missing("advanced/fields/0/secret", "advanced.fields[0].secret");

    const auto nulled = [](const char *path, const char *failedAt) {
        QTest::addRow("null %s", path) << QString::fromLatin1(path) << null << Kind::NullValue
                                       << QString::fromLatin1(failedAt);
    };
    nulled("schema_version", "schema_version");
    nulled("harnesses", "harnesses");
    nulled("advanced", "advanced");
    nulled("harnesses/1/id", "harnesses[1].id");
    nulled("default_harness_ids/0", "default_harness_ids[0]");
    nulled("harnesses/0/config_paths/1", "harnesses[0].config_paths[1]");
    nulled("funding_groups/pay", "funding_groups.pay");
    nulled("funding_groups/pay/options/0", "funding_groups.pay.options[0]");
    nulled("funding_groups/pay/options/1/fields/1/secret",
           "funding_groups.pay.options[1].fields[1].secret");
    nulled("advanced/fields/0/label", "advanced.fields[0].label");

    const auto wrong = [](const char *name, const char *path, const QJsonValue &value,
                          const char *failedAt) {
        QTest::addRow("%s", name) << QString::fromLatin1(path) << value << Kind::WrongType
                                  << QString::fromLatin1(failedAt);
    };
    wrong("schema_version string", "schema_version", QJsonValue(QStringLiteral("1")),
          "schema_version");
    wrong("schema_version fraction", "schema_version", QJsonValue(1.5), "schema_version");
    wrong("schema_version boolean", "schema_version", QJsonValue(true), "schema_version");
    wrong("schema_version beyond int", "schema_version", QJsonValue(4294967297.0),
          "schema_version");
    wrong("default_harness_ids string", "default_harness_ids", QJsonValue(QStringLiteral("alpha")),
          "default_harness_ids");
    wrong("default_harness_ids number element", "default_harness_ids/0", QJsonValue(1),
          "default_harness_ids[0]");
    wrong("harnesses object", "harnesses", QJsonObject(), "harnesses");
    wrong("harness string", "harnesses/1", QJsonValue(QStringLiteral("beta")), "harnesses[1]");
    wrong("config_paths boolean element", "harnesses/0/config_paths/0", QJsonValue(true),
          "harnesses[0].config_paths[0]");
    wrong("orv_command number", "harnesses/0/orv_command", QJsonValue(7),
          "harnesses[0].orv_command");
    wrong("funding_group boolean", "harnesses/1/funding_group", QJsonValue(false),
          "harnesses[1].funding_group");
    wrong("funding_groups array", "funding_groups", QJsonArray(), "funding_groups");
    wrong("funding group string", "funding_groups/empty", QJsonValue(QStringLiteral("x")),
          "funding_groups.empty");
    wrong("options object", "funding_groups/pay/options", QJsonObject(),
          "funding_groups.pay.options");
    wrong("fields string", "funding_groups/pay/options/0/fields",
          QJsonValue(QStringLiteral("none")), "funding_groups.pay.options[0].fields");
    wrong("secret number", "funding_groups/pay/options/1/fields/0/secret", QJsonValue(1),
          "funding_groups.pay.options[1].fields[0].secret");
    wrong("secret string", "funding_groups/pay/options/1/fields/0/secret",
          QJsonValue(QStringLiteral("true")), "funding_groups.pay.options[1].fields[0].secret");
    wrong("placeholder number", "funding_groups/pay/options/1/fields/0/placeholder", QJsonValue(3),
          "funding_groups.pay.options[1].fields[0].placeholder");
    wrong("prefix array", "funding_groups/pay/options/1/fields/0/prefix", QJsonArray(),
          "funding_groups.pay.options[1].fields[0].prefix");
    wrong("requires_https string", "funding_groups/pay/options/1/fields/1/requires_https",
          QJsonValue(QStringLiteral("yes")),
          "funding_groups.pay.options[1].fields[1].requires_https");
    wrong("requires_https number", "funding_groups/pay/options/1/fields/1/requires_https",
          QJsonValue(1), "funding_groups.pay.options[1].fields[1].requires_https");
    wrong("advanced array", "advanced", QJsonArray(), "advanced");
    wrong("advanced field number", "advanced/fields/0", QJsonValue(42), "advanced.fields[0]");
}

void TestManifestDecoder::refusesDocument()
{
    QFETCH(QString, path);
    QFETCH(QJsonValue, value);
    QFETCH(Kind, kind);
    QFETCH(QString, failedAt);

    const QByteArray json = fixtureWith(path, value);
    const auto decoded = ManifestDecoder::decode(json);
    QVERIFY(!decoded.has_value());
    QCOMPARE(decoded.error().kind, kind);
    QCOMPARE(decoded.error().path, failedAt);

    // The loader reports the same failure, not a version problem.
    const auto loaded = ManifestLoader::decode(json);
    QVERIFY(!loaded.has_value());
    QVERIFY(std::holds_alternative<ManifestDecodeError>(loaded.error()));
}

void TestManifestDecoder::refusesMalformedJson_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<Kind>("kind");
    QTest::newRow("empty") << QByteArray() << Kind::InvalidJson;
    QTest::newRow("truncated") << QByteArray(fixture).left(200) << Kind::InvalidJson;
    QTest::newRow("trailing comma") << QByteArray(R"({"schema_version": 1,})") << Kind::InvalidJson;
    QTest::newRow("trailing garbage") << QByteArray(fixture) + "x" << Kind::InvalidJson;
    QTest::newRow("invalid UTF-8")
        << QByteArray(fixture).replace("Alpha", "Al\xff\xfe") << Kind::InvalidJson;
    QTest::newRow("array at top") << QByteArray("[]") << Kind::WrongType;
}

void TestManifestDecoder::refusesMalformedJson()
{
    QFETCH(QByteArray, json);
    QFETCH(Kind, kind);
    const auto decoded = ManifestDecoder::decode(json);
    QVERIFY(!decoded.has_value());
    QCOMPARE(decoded.error().kind, kind);
    QCOMPARE(decoded.error().path, QString());
    if (kind == Kind::InvalidJson)
        QVERIFY(!decoded.error().detail.isEmpty());
}

void TestManifestDecoder::optionalKeyNullOrAbsent_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonValue>("value");
    const char *const paths[] = {
        "harnesses/0/orv_command",
        "harnesses/0/funding_group",
        "funding_groups/pay/options/1/fields/0/placeholder",
        "funding_groups/pay/options/1/fields/0/prefix",
        "funding_groups/pay/options/1/fields/1/requires_https",
    };
    for (const char *path : paths) {
        QTest::addRow("null %s", path) << QString::fromLatin1(path) << null;
        QTest::addRow("absent %s", path) << QString::fromLatin1(path) << absent;
    }
}

void TestManifestDecoder::optionalKeyNullOrAbsent()
{
    QFETCH(QString, path);
    QFETCH(QJsonValue, value);

    auto expected = ManifestDecoder::decode(QByteArray(fixture));
    QVERIFY(expected.has_value());
    ManifestHarness &alpha = expected->harnesses[0];
    QList<ManifestField> &fields = expected->fundingGroups[QStringLiteral("pay")].options[1].fields;
    const QString key = path.section(QLatin1Char('/'), -1);
    if (key == QLatin1String("orv_command"))
        alpha.orvCommand.reset();
    else if (key == QLatin1String("funding_group"))
        alpha.fundingGroup.reset();
    else if (key == QLatin1String("placeholder"))
        fields[0].placeholder.reset();
    else if (key == QLatin1String("prefix"))
        fields[0].prefix.reset();
    else
        fields[1].requiresHttps.reset();

    const auto decoded = ManifestDecoder::decode(fixtureWith(path, value));
    QVERIFY(decoded.has_value());
    QVERIFY(*decoded == *expected);

    // A field without the https rule accepts any scheme.
    if (key == QLatin1String("requires_https"))
        QCOMPARE(decoded->fundingGroups[QStringLiteral("pay")].options[1].fields[1].validate(
                     QStringLiteral("ftp://example.com")),
                 std::nullopt);
}

void TestManifestDecoder::ignoresUnknownKeys_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("root") << QStringLiteral("x_extra");
    QTest::newRow("harness") << QStringLiteral("harnesses/1/icon");
    QTest::newRow("funding group") << QStringLiteral("funding_groups/pay/note");
    QTest::newRow("option") << QStringLiteral("funding_groups/pay/options/0/badge");
    QTest::newRow("field") << QStringLiteral("funding_groups/pay/options/1/fields/1/pattern");
    QTest::newRow("advanced") << QStringLiteral("advanced/collapsed");
    QTest::newRow("advanced field") << QStringLiteral("advanced/fields/0/default");
}

void TestManifestDecoder::ignoresUnknownKeys()
{
    QFETCH(QString, path);
    // A value no known key could take, null inside.
    const QJsonObject odd{{QStringLiteral("secret"), QStringLiteral("no")},
                          {QStringLiteral("list"), QJsonArray{1, QJsonValue(), true}}};
    const auto base = ManifestDecoder::decode(QByteArray(fixture));
    const auto decoded = ManifestDecoder::decode(fixtureWith(path, odd));
    QVERIFY(base.has_value());
    QVERIFY(decoded.has_value());
    QVERIFY(*decoded == *base);
    const auto withNull = ManifestDecoder::decode(fixtureWith(path, null));
    QVERIFY(withNull.has_value());
    QVERIFY(*withNull == *base);
}

void TestManifestDecoder::checksSchemaVersion_data()
{
    QTest::addColumn<QJsonValue>("version");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("1") << QJsonValue(1) << true;
    QTest::newRow("0") << QJsonValue(0) << false;
    QTest::newRow("2") << QJsonValue(2) << false;
    QTest::newRow("-1") << QJsonValue(-1) << false;
    QTest::newRow("1000") << QJsonValue(1000) << false;
}

void TestManifestDecoder::checksSchemaVersion()
{
    QFETCH(QJsonValue, version);
    QFETCH(bool, accepted);
    const auto loaded =
        ManifestLoader::decode(fixtureWith(QStringLiteral("schema_version"), version));
    QCOMPARE(loaded.has_value(), accepted);
    if (accepted) {
        QCOMPARE(loaded->schemaVersion, ManifestLoader::supportedSchemaVersion);
        return;
    }
    QVERIFY(std::holds_alternative<ManifestError>(loaded.error()));
    QCOMPARE(std::get<ManifestError>(loaded.error()),
             ManifestError::unsupportedSchema(version.toInt()));
}

void TestManifestDecoder::describesUnsupportedSchema_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("description");
    QTest::newRow("2") << 2
                       << QStringLiteral("This installer is too old to read Orvane's setup "
                                         "manifest (version 2). Download the latest installer "
                                         "from https://orvane.dev.");
    QTest::newRow("-1") << -1
                        << QStringLiteral("This installer is too old to read Orvane's setup "
                                          "manifest (version -1). Download the latest installer "
                                          "from https://orvane.dev.");
    QTest::newRow("12") << 12
                        << QStringLiteral("This installer is too old to read Orvane's setup "
                                          "manifest (version 12). Download the latest installer "
                                          "from https://orvane.dev.");
}

void TestManifestDecoder::describesUnsupportedSchema()
{
    QFETCH(int, version);
    QFETCH(QString, description);
    QCOMPARE(ManifestError::unsupportedSchema(version).description(), description);
}

QTEST_GUILESS_MAIN(TestManifestDecoder)
#include "tst_manifestdecoder.moc"

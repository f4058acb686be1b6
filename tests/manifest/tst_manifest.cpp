#include "manifest/KnownHarness.h"
#include "manifest/ManifestDecoder.h"
#include "manifest/ManifestLoader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Every key of the format; the advanced field leaves out its optional keys.
constexpr char fixture[] = R"({"schema_version": 1, "default_harness_ids": ["a"], "harnesses": [
  {"id": "a", "name": "A", "config_paths": ["~/.a"], "orv_command": "orv a", "funding_group": "g"}],
 "funding_groups": {"g": {"config_key": "pay", "title": "T", "options": [{"id": "o", "name": "O",
  "fields": [{"config_key": "k", "label": "K", "secret": true, "placeholder": "k-1", "prefix": "k-",
  "requires_https": false}]}]}}, "advanced": {"title": "Adv", "description": "D", "fields": [
  {"config_key": "u", "label": "U", "secret": false}]}})";

// Space-separated JSON paths into the fixture; "@" is its only funding option.
QStringList paths(QString text)
{
    return text.replace(u'@', u"funding_groups/g/options/0"_s).split(u' ');
}
const QStringList requiredKeys = paths(
    u"schema_version default_harness_ids harnesses funding_groups advanced harnesses/0/id "
    "harnesses/0/name harnesses/0/config_paths funding_groups/g/config_key funding_groups/g/title "
    "funding_groups/g/options @/id @/name @/fields @/fields/0/config_key @/fields/0/label "
    "@/fields/0/secret advanced/title advanced/description advanced/fields"_s);
const QStringList elements = paths(
    u"default_harness_ids/0 harnesses/0 harnesses/0/config_paths/0 funding_groups/g @ @/fields/0 "
    "advanced/fields/0"_s);
const QStringList optionalKeys =
    paths(u"harnesses/0/orv_command harnesses/0/funding_group "
          "@/fields/0/placeholder @/fields/0/prefix @/fields/0/requires_https"_s);

// NODE with VALUE placed at PATH; an undefined VALUE removes the key.
QJsonValue edited(const QJsonValue &node, QStringList path, const QJsonValue &value)
{
    const QString key = path.takeFirst();
    if (node.isArray()) {
        QJsonArray array = node.toArray();
        array[key.toInt()] = path.isEmpty() ? value : edited(array.at(key.toInt()), path, value);
        return array;
    }
    QJsonObject object = node.toObject();
    object.insert(key, path.isEmpty() ? value : edited(object.value(key), path, value));
    return object;
}

QByteArray fixtureWith(const QString &path, const QJsonValue &value)
{
    const QJsonValue root = QJsonDocument::fromJson(fixture).object();
    return QJsonDocument(edited(root, path.split(u'/'), value).toObject()).toJson();
}

} // namespace

class TestManifest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Decoding with the version check. The outcome is "decodes", or how decoding failed and
    // where, or the version error's text.
    void decode_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<Manifest::InstallManifest>("expected");
        const Manifest::ManifestField key{u"k"_s, u"K"_s, true, u"k-1"_s, u"k-"_s, false};
        Manifest::InstallManifest everyKey{
            1, {u"a"_s}, {{u"a"_s, u"A"_s, {u"~/.a"_s}, u"orv a"_s, u"g"_s}}, {}, {}};
        everyKey.fundingGroups[u"g"_s] = {u"pay"_s, u"T"_s, {{u"o"_s, u"O"_s, {key}}}};
        everyKey.advanced = {u"Adv"_s, u"D"_s, {{u"u"_s, u"U"_s, false, {}, {}, {}}}};
        QTest::newRow("every key") << QByteArray(fixture) << u"decodes"_s << everyKey;
        const QJsonObject odd{{u"secret"_s, u"no"_s}, {u"list"_s, QJsonArray{1, QJsonValue()}}};
        for (const QString &path : paths(u"x harnesses/0/x funding_groups/g/x @/x @/fields/0/x "
                                         "advanced/x advanced/fields/0/x"_s))
            QTest::addRow("unknown %s", qPrintable(path))
                << fixtureWith(path, odd) << u"decodes"_s << everyKey;
        for (const QString &path : optionalKeys) // null counts as absent
            QTest::addRow("null %s", qPrintable(path))
                << fixtureWith(path, QJsonValue::Null) << u"decodes"_s
                << Manifest::ManifestDecoder::decode(fixtureWith(path, QJsonValue::Undefined))
                       .value_or(Manifest::InstallManifest());
        const auto refuse = [](const QString &tag, const QByteArray &json, const QString &outcome) {
            QTest::newRow(qPrintable(tag)) << json << outcome << Manifest::InstallManifest();
        };
        const auto edit = [&](const QString &what, const QString &path, const QJsonValue &value) {
            // The decoder names "a/0/b" as "a[0].b"; every index in these paths is 0.
            const QString at = QString(path).replace(u"/0"_s, u"[0]"_s).replace(u'/', u'.');
            refuse(what + u' ' + path, fixtureWith(path, value), what + u" at "_s + at);
        };
        for (const QString &path : requiredKeys)
            edit(u"missing"_s, path, QJsonValue::Undefined);
        for (const QString &path : requiredKeys + elements)
            edit(u"null"_s, path, QJsonValue::Null);
        for (const QString &path : requiredKeys + elements + optionalKeys)
            edit(u"wrong type"_s, path, 1.5);
        refuse(u"string schema_version"_s, fixtureWith(u"schema_version"_s, u"1"_s),
               u"wrong type at schema_version"_s);
        refuse(u"truncated"_s, QByteArray(fixture).left(90), u"invalid JSON at "_s);
        refuse(u"array at the top"_s, "[]", u"wrong type at "_s);
        for (const int version : {0, 2, -1})
            refuse(u"version %1"_s.arg(version), fixtureWith(u"schema_version"_s, version),
                   u"This installer is too old to read Orvane's setup manifest (version %1). "
                   "Download the latest installer from https://orvane.dev."_s.arg(version));
    }
    void decode()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, outcome);
        QFETCH(Manifest::InstallManifest, expected);
        const auto loaded = Manifest::ManifestLoader::decode(json);
        const auto *error = loaded ? nullptr : std::get_if<Manifest::ManifestDecodeError>(&loaded.error());
        const QString kinds[] = {u"invalid JSON"_s, u"missing"_s, u"null"_s, u"wrong type"_s};
        QCOMPARE(loaded  ? u"decodes"_s
                 : error ? kinds[int(error->kind)] + u" at "_s + error->path
                         : std::get<Manifest::ManifestError>(loaded.error()).description(),
                 outcome);
        QVERIFY(!loaded || *loaded == expected);
    }

    void validate_data()
    {
        QTest::addColumn<Manifest::ManifestField>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message"); // null: accepted
        const Manifest::ManifestField key{u"k"_s, u"API key"_s, true, {}, u"sk-ant-"_s, {}};
        const Manifest::ManifestField url{u"u"_s, u"Proxy URL"_s, false, {}, {}, true};
        const Manifest::ManifestField both{u"b"_s, u"Proxy URL"_s, false, {}, u"http"_s, true};
        const QString wrongPrefix = u"API key should start with \"sk-ant-\"."_s;
        const QString notHttps = u"Proxy URL must be an https:// URL."_s;
        const auto row = [](const char *name, const Manifest::ManifestField &f, const QString &v,
                            const QString &m = {}) { QTest::newRow(name) << f << v << m; };
        row("blanks only, prefix field", key, u" \t\n\u3000\u2028"_s);
        row("blanks around the prefix", key, u"\u00a0 sk-ant-api03\u2029\n"_s);
        row("other prefix", key, u"sk-proj-abc"_s, wrongPrefix);
        row("prefix in other case", key, u"SK-ANT-abc"_s, wrongPrefix);
        row("https in capitals", url, u"HTTPS://LLM.EXAMPLE.COM"_s);
        row("localhost, port and path", url, u"http://localhost:8080/v1"_s);
        row("loopback, port and path", url, u"http://127.0.0.1:4000/x"_s);
        row("localhost in capitals", url, u"http://LOCALHOST"_s, notHttps);
        row("plain http", url, u"http://llm.example.com"_s, notHttps);
        row("both fail", both, u"ftp://x"_s, u"Proxy URL should start with \"http\"."_s);
        row("prefix passes, https fails", both, u"http://x.example"_s, notHttps);
    }
    void validate()
    {
        QFETCH(Manifest::ManifestField, field);
        QFETCH(QString, value);
        QFETCH(QString, message);
        QCOMPARE(field.validate(value), message.isNull() ? std::nullopt : std::optional(message));
    }

    void isDetected_data()
    {
        QTest::addColumn<QStringList>("configPaths");
        QTest::addColumn<bool>("detected");
        QTest::newRow("no paths") << QStringList() << false;
        QTest::newRow("all missing") << QStringList{u"~/.a"_s, u"~/.b"_s} << false;
        QTest::newRow("existing file") << QStringList{u"~/.tool.json"_s} << true;
        QTest::newRow("first missing, next a folder") << QStringList{u"~/a"_s, u"~/"_s} << true;
    }
    void isDetected()
    {
        QFETCH(QStringList, configPaths);
        QFETCH(bool, detected);
        QTemporaryDir home;
        QVERIFY(QFile(home.filePath(u".tool.json"_s)).open(QIODevice::WriteOnly));
        const bool found = Manifest::ManifestHarness{u"t"_s, u"T"_s, configPaths, {}, {}}.isDetected(home.path());
        QCOMPARE(found, detected);
    }

    void bundledManifestKeepsItsPromises()
    {
        const Manifest::InstallManifest manifest = Manifest::ManifestLoader::bundled().value();
        QCOMPARE(Manifest::ManifestLoader::load().value(),
                 (Manifest::Resolved{u"orvane@latest"_s, manifest}));
        QStringList ids;
        for (const Manifest::ManifestHarness &harness : manifest.harnesses) { // each is paid through a group
            QVERIFY(manifest.fundingGroups.contains(harness.fundingGroup.value_or(QString())));
            ids.append(harness.id);
        }
        for (const Manifest::KnownHarness known : Manifest::knownHarnesses) { // spelt as the manifest does
            QVERIFY(ids.contains(Manifest::harnessId(known)));
            QCOMPARE(Manifest::knownHarness(Manifest::harnessId(known)), known);
        }
        // A private gateway's address is never sent in the clear.
        for (const Manifest::FundingGroup &group : manifest.fundingGroups)
            for (const Manifest::FundingOption &option : group.options)
                for (const Manifest::ManifestField &field : option.fields)
                    QVERIFY2(!option.id.endsWith(u"-proxy"_s) || field.requiresHttps == true,
                             qPrintable(option.id));
    }

    // The loader reports a damaged bundle, logs its kind and path and leaves ending the
    // program to its caller.
    void damagedBundleIsReported_data()
    {
        QTest::addColumn<QString>("kind"); // what stands at the manifest's place
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<int>("error"); // -1: loads
        QTest::addColumn<QString>("logged"); // the warning after "Manifest PATH is "
        using Kind = Manifest::ManifestLoadError::Kind;
        const int invalid = int(Kind::Invalid);
        QTest::newRow("version 2") << u"file"_s << fixtureWith(u"schema_version"_s, 2) << invalid
                                   << u"invalid: schema_version 2 is not 1"_s;
        QTest::newRow("truncated") << u"file"_s << QByteArray(fixture).left(90) << invalid
                                   << u"invalid: not JSON: unterminated string at offset 91"_s;
        QTest::newRow("no id") << u"file"_s << fixtureWith(u"harnesses/0/id"_s, QJsonValue::Undefined)
                               << invalid << u"invalid: missing key harnesses[0].id"_s;
        QTest::newRow("missing") << u"none"_s << QByteArray() << int(Kind::Missing) << u"missing"_s;
        QTest::newRow("named pipe") << u"fifo"_s << QByteArray() << int(Kind::Missing) << u"missing"_s;
        QTest::newRow("unreadable") << u"unreadable"_s << QByteArray(fixture) << int(Kind::Unreadable)
                                    << u"unreadable"_s;
    }
    void damagedBundleIsReported()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, contents);
        QFETCH(int, error);
        QFETCH(QString, logged);
        QTemporaryDir resources;
        const QString path = resources.filePath(u"install-manifest.json"_s);
        if (kind == u"fifo"_s) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind != u"none"_s) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) > 0);
            file.close();
            if (kind == u"unreadable"_s) {
                if (::geteuid() == 0)
                    QSKIP("root reads files whatever their mode");
                QVERIFY(file.setPermissions({}));
            }
        }
        for (int call = 0; call < 2 && !logged.isEmpty(); ++call)
            QTest::ignoreMessage(QtWarningMsg, qPrintable(u"Manifest "_s + path + u" is "_s + logged));
        const auto loaded = Manifest::ManifestLoader::load(resources.path());
        QCOMPARE(loaded ? -1 : int(loaded.error().kind), error);
        QCOMPARE(Manifest::ManifestLoader::bundled(resources.path()).has_value(), error == -1);
    }
};

QTEST_GUILESS_MAIN(TestManifest)
#include "tst_manifest.moc"

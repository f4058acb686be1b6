#include "manifest/ManifestLoader.h"
#include "platform/Resources.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString fatalMessage =
    QStringLiteral("Orvane.app is missing its bundled install-manifest.json\n");

QByteArray bundledBytes()
{
    QFile file(Resources::path(QStringLiteral("install-manifest"), QStringLiteral("json")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<ManifestField> allFields(const InstallManifest &manifest)
{
    QList<ManifestField> fields = manifest.advanced.fields;
    for (const FundingGroup &group : manifest.fundingGroups)
        for (const FundingOption &option : group.options)
            fields += option.fields;
    return fields;
}

std::optional<ManifestField> fieldWithKey(const InstallManifest &manifest, const QString &configKey)
{
    for (const ManifestField &field : allFields(manifest))
        if (field.configKey == configKey)
            return field;
    return std::nullopt;
}

struct ChildRun
{
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QString standardOutput;
    QString standardError;
};

ChildRun runChild(const QString &mode, const QString &resourceDirectory)
{
    QProcess child;
    child.start(QString::fromUtf8(ORVANE_LOADER_CHILD), {mode, resourceDirectory});
    ChildRun run;
    if (!child.waitForFinished(60000))
        return run;
    run.exitCode = child.exitCode();
    run.exitStatus = child.exitStatus();
    run.standardOutput = QString::fromUtf8(child.readAllStandardOutput());
    run.standardError = QString::fromUtf8(child.readAllStandardError());
    return run;
}

} // namespace

class TestManifestLoader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loadsBundledManifest();
    void bundledHarnesses();
    void bundledFundingGroups();
    void bundledFields();
    void damagedBundleEndsProcess_data();
    void damagedBundleEndsProcess();
    void goodBundleInChild_data();
    void goodBundleInChild();
};

void TestManifestLoader::loadsBundledManifest()
{
    const auto decoded = ManifestLoader::decode(bundledBytes());
    QVERIFY(decoded.has_value());
    const ManifestLoader::Resolved resolved = ManifestLoader::load();
    QCOMPARE(resolved.packageSpec, QStringLiteral("orvane@latest"));
    QVERIFY(resolved.manifest == *decoded);
    QVERIFY(ManifestLoader::bundled() == *decoded);
    QCOMPARE(resolved.manifest.schemaVersion, 1);
}

void TestManifestLoader::bundledHarnesses()
{
    const InstallManifest manifest = ManifestLoader::bundled();
    QStringList ids, names, commands;
    for (const ManifestHarness &harness : manifest.harnesses) {
        ids << harness.id;
        names << harness.name;
        commands << harness.orvCommand.value_or(QString());
        QVERIFY2(!harness.configPaths.isEmpty(), qPrintable(harness.id));
        for (const QString &path : harness.configPaths)
            QVERIFY2(path.startsWith(QLatin1String("~/")), qPrintable(path));
        QVERIFY2(harness.fundingGroup && manifest.fundingGroups.contains(*harness.fundingGroup),
                 qPrintable(harness.id));
    }
    QCOMPARE(ids, (QStringList{QStringLiteral("claude-code"), QStringLiteral("codex"),
                               QStringLiteral("opencode")}));
    QCOMPARE(names, (QStringList{QStringLiteral("Claude Code"), QStringLiteral("Codex"),
                                 QStringLiteral("OpenCode")}));
    QCOMPARE(commands, (QStringList{QStringLiteral("orv claude"), QStringLiteral("orv codex"),
                                    QStringLiteral("orv opencode")}));
    QVERIFY(manifest.harnesses.at(0).configPaths.contains(QStringLiteral("~/.claude")));
    QVERIFY(manifest.harnesses.at(1).configPaths.contains(QStringLiteral("~/.codex")));
    QCOMPARE(manifest.harnesses.at(0).fundingGroup, QStringLiteral("claude"));
    QCOMPARE(manifest.harnesses.at(1).fundingGroup, manifest.harnesses.at(2).fundingGroup);
    QVERIFY(manifest.harnesses.at(1).fundingGroup != manifest.harnesses.at(0).fundingGroup);

    QVERIFY(!manifest.defaultHarnessIds.isEmpty());
    for (const QString &id : manifest.defaultHarnessIds)
        QVERIFY2(ids.contains(id), qPrintable(id));
}

void TestManifestLoader::bundledFundingGroups()
{
    const InstallManifest manifest = ManifestLoader::bundled();
    QCOMPARE(manifest.fundingGroups.size(), 2);
    QSet<QString> configKeys;
    bool someConfigKeyDiffers = false;
    for (auto group = manifest.fundingGroups.cbegin(); group != manifest.fundingGroups.cend();
         ++group) {
        const QByteArray keyText = group.key().toUtf8();
        const char *key = keyText.constData();
        QVERIFY2(!group->title.isEmpty(), key);
        QVERIFY2(!configKeys.contains(group->configKey), key);
        configKeys.insert(group->configKey);
        someConfigKeyDiffers = someConfigKeyDiffers || group->configKey != group.key();

        // The first option is the default outside an organisation: the subscription.
        QVERIFY2(!group->options.isEmpty(), key);
        QCOMPARE(group->options.first().id, QStringLiteral("subscription"));
        QVERIFY(group->options.first().fields.isEmpty());

        QSet<QString> optionIds;
        int proxies = 0;
        for (const FundingOption &option : group->options) {
            QVERIFY2(!option.name.isEmpty() && !optionIds.contains(option.id),
                     qPrintable(option.id));
            optionIds.insert(option.id);
            if (!option.id.endsWith(QLatin1String("-proxy")))
                continue;
            ++proxies;
            QVERIFY2(!option.fields.isEmpty(), qPrintable(option.id));
            for (const ManifestField &field : option.fields) {
                QVERIFY2(field.requiresHttps.value_or(false), qPrintable(field.configKey));
                QVERIFY(!field.secret);
                QCOMPARE(field.validate(QStringLiteral("http://llm.example.com")),
                         field.label + QStringLiteral(" must be an https:// URL."));
            }
        }
        QCOMPARE(proxies, 1);
    }
    QVERIFY(someConfigKeyDiffers);
}

void TestManifestLoader::bundledFields()
{
    const InstallManifest manifest = ManifestLoader::bundled();
    const QList<ManifestField> fields = allFields(manifest);
    QSet<QString> groupConfigKeys{QStringLiteral("harnesses")};
    for (const FundingGroup &group : manifest.fundingGroups)
        groupConfigKeys.insert(group.configKey);

    int secrets = 0, placeholders = 0, https = 0;
    for (const ManifestField &field : fields) {
        const QByteArray keyText = field.configKey.toUtf8();
        const char *key = keyText.constData();
        QVERIFY2(!field.configKey.isEmpty() && !field.label.isEmpty(), key);
        // Field values share the answers object with the groups and the enterprise gateway.
        QVERIFY2(!groupConfigKeys.contains(field.configKey), key);
        QVERIFY2(field.configKey != QLatin1String("gatewayBaseUrl") &&
                     field.configKey != QLatin1String("email"),
                 key);
        // A field asked in several places must look the same everywhere: one value is shared.
        QVERIFY2(*fieldWithKey(manifest, field.configKey) == field, key);
        // The hint must itself be a value the field accepts.
        if (field.placeholder) {
            ++placeholders;
            QCOMPARE(field.validate(*field.placeholder), std::nullopt);
        }
        if (field.prefix)
            QVERIFY2(field.secret, key);
        secrets += field.secret ? 1 : 0;
        https += field.requiresHttps.value_or(false) ? 1 : 0;
    }
    QVERIFY(secrets > 0);
    QVERIFY(placeholders > 0);
    QVERIFY(https > 0);

    const auto anthropic = fieldWithKey(manifest, QStringLiteral("anthropicApiKey"));
    QVERIFY(anthropic.has_value());
    QCOMPARE(anthropic->validate(QStringLiteral("sk-proj-abc")),
             QStringLiteral("Anthropic API key should start with \"sk-ant-\"."));
    QCOMPARE(anthropic->validate(QStringLiteral(" sk-ant-api03-abc ")), std::nullopt);
    const auto openRouter = fieldWithKey(manifest, QStringLiteral("openrouterApiKey"));
    QVERIFY(openRouter.has_value());
    QCOMPARE(openRouter->prefix, QStringLiteral("sk-or-"));
    const auto openAi = fieldWithKey(manifest, QStringLiteral("openaiApiKey"));
    QVERIFY(openAi.has_value());
    QCOMPARE(openAi->prefix, QStringLiteral("sk-"));

    QVERIFY(!manifest.advanced.title.isEmpty());
    QVERIFY(!manifest.advanced.description.isEmpty());
    QVERIFY(!manifest.advanced.fields.isEmpty());
}

void TestManifestLoader::damagedBundleEndsProcess_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QByteArray>("contents");

    QByteArray good = bundledBytes();
    QVERIFY(good.contains("\"schema_version\": 1,"));
    const auto version = [&good](const char *number) {
        QByteArray replacement("\"schema_version\": ");
        replacement.append(number).append(',');
        return QByteArray(good).replace("\"schema_version\": 1,", replacement);
    };
    const QString file = QStringLiteral("file");
    for (const char *modeName : {"load", "bundled"}) {
        const QString mode = QString::fromLatin1(modeName);
        QTest::addRow("%s: version 0", modeName) << mode << file << version("0");
        QTest::addRow("%s: version 2", modeName) << mode << file << version("2");
        QTest::addRow("%s: version -1", modeName) << mode << file << version("-1");
        QTest::addRow("%s: version as string", modeName) << mode << file << version("\"1\"");
        QTest::addRow("%s: broken JSON", modeName) << mode << file << good.left(good.size() / 2);
        QTest::addRow("%s: empty file", modeName) << mode << file << QByteArray();
        QTest::addRow("%s: without advanced", modeName)
            << mode << file << QByteArray(good).replace("\"advanced\":", "\"advanced_settings\":");
        QTest::addRow("%s: missing file", modeName)
            << mode << QStringLiteral("none") << QByteArray();
        QTest::addRow("%s: folder in its place", modeName)
            << mode << QStringLiteral("folder") << QByteArray();
    }
}

void TestManifestLoader::damagedBundleEndsProcess()
{
    QFETCH(QString, mode);
    QFETCH(QString, damage);
    QFETCH(QByteArray, contents);

    QTemporaryDir resources;
    QVERIFY(resources.isValid());
    const QString path = resources.filePath(QStringLiteral("install-manifest.json"));
    if (damage == QLatin1String("file")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(contents), contents.size());
    } else if (damage == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
    }

    const ChildRun run = runChild(mode, resources.path());
    QCOMPARE(run.exitStatus, QProcess::NormalExit);
    QVERIFY(run.exitCode != 0);
    QCOMPARE(run.standardError, fatalMessage);
    QCOMPARE(run.standardOutput, QString());
}

void TestManifestLoader::goodBundleInChild_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("output");
    QTest::newRow("load") << QStringLiteral("load") << QStringLiteral("orvane@latest\n");
    QTest::newRow("bundled") << QStringLiteral("bundled") << QStringLiteral("3 harnesses\n");
}

void TestManifestLoader::goodBundleInChild()
{
    QFETCH(QString, mode);
    QFETCH(QString, output);
    QTemporaryDir resources;
    QVERIFY(resources.isValid());
    QFile file(resources.filePath(QStringLiteral("install-manifest.json")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write(bundledBytes()) > 0);
    file.close();

    const ChildRun run = runChild(mode, resources.path());
    QCOMPARE(run.standardError, QString());
    QCOMPARE(run.exitStatus, QProcess::NormalExit);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.standardOutput, output);
}

QTEST_GUILESS_MAIN(TestManifestLoader)
#include "tst_manifestloader.moc"

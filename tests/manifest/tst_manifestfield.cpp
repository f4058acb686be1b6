#include "manifest/ManifestField.h"

#include <QSet>
#include <QTest>

#include <unordered_set>

namespace {

constexpr char16_t prefixMessage[] = u"Anthropic API key should start with \"sk-ant-\".";
constexpr char16_t httpsMessage[] = u"Proxy URL must be an https:// URL.";

ManifestField keyField()
{
    return ManifestField{
        QStringLiteral("anthropicApiKey"), QStringLiteral("Anthropic API key"), true,
        QStringLiteral("sk-ant-…"),        QStringLiteral("sk-ant-"),           {}};
}

ManifestField urlField()
{
    return ManifestField{
        QStringLiteral("proxyUrl"), QStringLiteral("Proxy URL"), false, {}, {}, true};
}

} // namespace

class TestManifestField : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void validate_data();
    void validate();
    void trimsUnicodeWhitespaceAndNewlinesOnly();
    void equalityAndHash_data();
    void equalityAndHash();
    void usableInHashedSets();
};

void TestManifestField::validate_data()
{
    QTest::addColumn<ManifestField>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<std::optional<QString>>("message");

    const std::optional<QString> none;
    const std::optional<QString> wrongPrefix = QString::fromUtf16(prefixMessage);
    const std::optional<QString> notHttps = QString::fromUtf16(httpsMessage);
    const ManifestField key = keyField();
    const ManifestField url = urlField();

    // Empty and blank values are left to the caller.
    QTest::newRow("empty") << key << QString() << none;
    QTest::newRow("blanks only") << key << QStringLiteral("   ") << none;
    QTest::newRow("tabs and newlines only") << key << QStringLiteral("\t\n\r\n\v\f") << none;
    QTest::newRow("unicode blanks only")
        << key << QStringLiteral("\u00a0\u2003\u3000\u2028") << none;
    QTest::newRow("blanks only, https field") << url << QStringLiteral(" \n ") << none;

    // Prefix: exact and case-sensitive, after trimming.
    QTest::newRow("prefix matches") << key << QStringLiteral("sk-ant-api03-abc") << none;
    QTest::newRow("prefix alone") << key << QStringLiteral("sk-ant-") << none;
    QTest::newRow("blanks around prefix")
        << key << QStringLiteral("  \tsk-ant-api03-abc \n") << none;
    QTest::newRow("unicode blanks around prefix")
        << key << QStringLiteral("\u3000\u00a0sk-ant-x\u2029\u0085") << none;
    QTest::newRow("other prefix") << key << QStringLiteral("sk-proj-abc") << wrongPrefix;
    QTest::newRow("prefix in other case") << key << QStringLiteral("SK-ANT-abc") << wrongPrefix;
    QTest::newRow("one letter in other case") << key << QStringLiteral("sk-Ant-abc") << wrongPrefix;
    QTest::newRow("shorter than prefix") << key << QStringLiteral("sk-an") << wrongPrefix;
    QTest::newRow("prefix later in value")
        << key << QStringLiteral("key sk-ant-abc") << wrongPrefix;
    QTest::newRow("zero-width space is not trimmed")
        << key << QStringLiteral("\u200bsk-ant-abc") << wrongPrefix;

    // https rule.
    QTest::newRow("https") << url << QStringLiteral("https://llm.example.com") << none;
    QTest::newRow("https in capitals") << url << QStringLiteral("HTTPS://LLM.EXAMPLE.COM") << none;
    QTest::newRow("https mixed case") << url << QStringLiteral("hTtPs://x") << none;
    QTest::newRow("https trimmed") << url << QStringLiteral("\n https://x \t") << none;
    QTest::newRow("localhost") << url << QStringLiteral("http://localhost") << none;
    QTest::newRow("localhost port path")
        << url << QStringLiteral("http://localhost:8080/v1") << none;
    QTest::newRow("localhost then anything")
        << url << QStringLiteral("http://localhost.attacker.example") << none;
    QTest::newRow("loopback") << url << QStringLiteral("http://127.0.0.1") << none;
    QTest::newRow("loopback port path")
        << url << QStringLiteral("http://127.0.0.1:4000/proxy") << none;
    QTest::newRow("loopback then anything") << url << QStringLiteral("http://127.0.0.10") << none;
    QTest::newRow("localhost in capitals") << url << QStringLiteral("http://LOCALHOST") << notHttps;
    QTest::newRow("http in capitals, localhost")
        << url << QStringLiteral("HTTP://localhost") << notHttps;
    QTest::newRow("localhost capitalised")
        << url << QStringLiteral("http://Localhost:80") << notHttps;
    QTest::newRow("plain http") << url << QStringLiteral("http://llm.example.com") << notHttps;
    QTest::newRow("other loopback") << url << QStringLiteral("http://127.0.0.2") << notHttps;
    QTest::newRow("ipv6 loopback") << url << QStringLiteral("http://[::1]:8080") << notHttps;
    QTest::newRow("ftp") << url << QStringLiteral("ftp://files.example.com") << notHttps;
    QTest::newRow("no scheme") << url << QStringLiteral("llm.example.com") << notHttps;
    QTest::newRow("one slash") << url << QStringLiteral("https:/llm.example.com") << notHttps;
    QTest::newRow("https later in value") << url << QStringLiteral("see https://x") << notHttps;

    ManifestField httpsOff = url;
    httpsOff.requiresHttps = false;
    QTest::newRow("requires_https false") << httpsOff << QStringLiteral("ftp://x") << none;
    ManifestField httpsAbsent = url;
    httpsAbsent.requiresHttps.reset();
    QTest::newRow("requires_https absent") << httpsAbsent << QStringLiteral("ftp://x") << none;

    // Both rules: the prefix rule is tested first.
    ManifestField both = url;
    both.prefix = QStringLiteral("https://corp.");
    QTest::newRow("both fail: prefix message only")
        << both << QStringLiteral("ftp://x")
        << std::optional<QString>(QStringLiteral("Proxy URL should start with \"https://corp.\"."));
    QTest::newRow("both pass") << both << QStringLiteral("https://corp.example.com") << none;
    ManifestField loosePrefix = url;
    loosePrefix.prefix = QStringLiteral("http");
    QTest::newRow("prefix passes, https fails")
        << loosePrefix << QStringLiteral("http://example.com") << notHttps;

    // The label is used exactly as given.
    ManifestField oddLabel = key;
    oddLabel.label = QStringLiteral("Clé « API » ");
    QTest::newRow("label as given")
        << oddLabel << QStringLiteral("x")
        << std::optional<QString>(QStringLiteral("Clé « API »  should start with \"sk-ant-\"."));
    ManifestField emptyPrefix = key;
    emptyPrefix.prefix = QString();
    QTest::newRow("empty prefix") << emptyPrefix << QStringLiteral("anything") << none;
}

void TestManifestField::validate()
{
    QFETCH(ManifestField, field);
    QFETCH(QString, value);
    QFETCH(std::optional<QString>, message);
    QCOMPARE(field.validate(value), message);
}

// Trimming removes exactly the Unicode whitespace (Zs) and newlines (Zl, Zp, U+000A..U+000D,
// U+0085) plus the tab, on both ends.
void TestManifestField::trimsUnicodeWhitespaceAndNewlinesOnly()
{
    const ManifestField field = keyField();
    for (char32_t code = 1; code <= 0xffff; ++code) {
        if (code >= 0xd800 && code <= 0xdfff)
            continue;
        const QChar character(static_cast<char16_t>(code));
        const QChar::Category category = character.category();
        const bool whitespace = category == QChar::Separator_Space ||
                                category == QChar::Separator_Line ||
                                category == QChar::Separator_Paragraph ||
                                (code >= 0x09 && code <= 0x0d) || code == 0x85;
        const QString value = character + QStringLiteral("sk-ant-x") + character;
        const auto message = field.validate(value);
        if (message.has_value() == whitespace)
            QFAIL(qPrintable(
                QStringLiteral("U+%1 handled wrongly").arg(int(code), 4, 16, QLatin1Char('0'))));
    }
}

void TestManifestField::equalityAndHash_data()
{
    QTest::addColumn<ManifestField>("other");
    QTest::addColumn<bool>("equal");
    const ManifestField base = keyField();
    QTest::newRow("same") << base << true;
    ManifestField changed = base;
    changed.configKey = QStringLiteral("otherKey");
    QTest::newRow("configKey") << changed << false;
    changed = base;
    changed.label = QStringLiteral("Anthropic key");
    QTest::newRow("label") << changed << false;
    changed = base;
    changed.secret = false;
    QTest::newRow("secret") << changed << false;
    changed = base;
    changed.placeholder = QStringLiteral("sk-ant-api03-…");
    QTest::newRow("placeholder") << changed << false;
    changed = base;
    changed.placeholder.reset();
    QTest::newRow("placeholder absent") << changed << false;
    changed = base;
    changed.prefix = QString();
    QTest::newRow("prefix empty instead of set") << changed << false;
    changed = base;
    changed.requiresHttps = false;
    QTest::newRow("requiresHttps false instead of absent") << changed << false;
    changed = base;
    changed.requiresHttps = true;
    QTest::newRow("requiresHttps true") << changed << false;
}

void TestManifestField::equalityAndHash()
{
    QFETCH(ManifestField, other);
    QFETCH(bool, equal);
    const ManifestField base = keyField();
    QCOMPARE(base == other, equal);
    QCOMPARE(other == base, equal);
    if (equal) {
        QCOMPARE(qHash(base), qHash(other));
        QCOMPARE(qHash(base, 42), qHash(other, 42));
        QCOMPARE(std::hash<ManifestField>()(base), std::hash<ManifestField>()(other));
    } else {
        QVERIFY(qHash(base) != qHash(other));
    }
}

void TestManifestField::usableInHashedSets()
{
    ManifestField second = urlField();
    const QList<ManifestField> fields{keyField(), second, keyField(), urlField()};
    const QSet<ManifestField> qtSet(fields.cbegin(), fields.cend());
    const std::unordered_set<ManifestField> stdSet(fields.cbegin(), fields.cend());
    QCOMPARE(qtSet.size(), 2);
    QCOMPARE(stdSet.size(), 2u);
    second.secret = true;
    QVERIFY(!qtSet.contains(second));
    QVERIFY(!stdSet.contains(second));
    QVERIFY(qtSet.contains(urlField()));
}

QTEST_GUILESS_MAIN(TestManifestField)
#include "tst_manifestfield.moc"

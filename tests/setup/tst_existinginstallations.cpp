#include "setup/ExistingInstallations.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using Harnesses = QList<ExistingHarness>;
Q_DECLARE_METATYPE(Harnesses)

namespace {

enum class Record
{
    File,
    Missing,
    Directory,
    Unreadable
};

ExistingHarness harness(const char *id, std::optional<QString> funding = std::nullopt)
{
    return {QLatin1String(id), std::move(funding)};
}

QByteArray installations(const QByteArray &entries)
{
    return "{\"version\": 2, \"installations\": [" + entries + "]}";
}

bool writeFile(const QString &path, const QByteArray &contents)
{
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

} // namespace

class TestExistingInstallations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void read_data();
    void read();
    void pathFromHomeKeptForTheProcess();

private:
    QTemporaryDir m_home;
};

void TestExistingInstallations::initTestCase()
{
    QVERIFY(m_home.isValid());
    // Before anything asks for the record's path, so that it is worked out from this home.
    qputenv("HOME", QFile::encodeName(m_home.path()));
}

void TestExistingInstallations::read_data()
{
    QTest::addColumn<int>("record");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<Harnesses>("expected");

    const auto file = int(Record::File);
    QTest::newRow("no file") << int(Record::Missing) << QByteArray() << Harnesses{};
    QTest::newRow("a folder in its place") << int(Record::Directory) << QByteArray() << Harnesses{};
    QTest::newRow("empty installations") << file << installations("") << Harnesses{};
    QTest::newRow("claude subscription")
        << file
        << installations(
               R"({"harness": "claude-code", "user_funded_provider": "claude-subscription"})")
        << Harnesses{harness("claude-code", u"subscription"_qs)};
    QTest::newRow("claude other provider unchanged")
        << file
        << installations(R"({"harness": "claude-code", "user_funded_provider": "openrouter"})")
        << Harnesses{harness("claude-code", u"openrouter"_qs)};
    QTest::newRow("claude without provider")
        << file << installations(R"({"harness": "claude-code"})")
        << Harnesses{harness("claude-code")};
    QTest::newRow("claude provider not a string")
        << file << installations(R"({"harness": "claude-code", "user_funded_provider": 3})")
        << Harnesses{harness("claude-code")};
    QTest::newRow("claude ignores subscription auth")
        << file << installations(R"({"harness": "claude-code", "openai_subscription_auth": true})")
        << Harnesses{harness("claude-code")};
    QTest::newRow("codex subscription auth wins over provider")
        << file
        << installations(R"({"harness": "codex", "openai_subscription_auth": true,)"
                         R"( "user_funded_provider": "openai-api"})")
        << Harnesses{harness("codex", u"subscription"_qs)};
    QTest::newRow("codex subscription auth false gives provider")
        << file
        << installations(R"({"harness": "codex", "openai_subscription_auth": false,)"
                         R"( "user_funded_provider": "openai-api"})")
        << Harnesses{harness("codex", u"openai-api"_qs)};
    QTest::newRow("codex subscription auth not a boolean")
        << file
        << installations(R"({"harness": "codex", "openai_subscription_auth": "true",)"
                         R"( "user_funded_provider": "openai-api"})")
        << Harnesses{harness("codex", u"openai-api"_qs)};
    QTest::newRow("codex subscription auth alone")
        << file << installations(R"({"harness": "codex", "openai_subscription_auth": true})")
        << Harnesses{harness("codex", u"subscription"_qs)};
    QTest::newRow("codex nothing")
        << file << installations(R"({"harness": "codex"})") << Harnesses{harness("codex")};
    QTest::newRow("codex claude-subscription stays as it is")
        << file
        << installations(R"({"harness": "codex", "user_funded_provider": "claude-subscription"})")
        << Harnesses{harness("codex", u"claude-subscription"_qs)};
    QTest::newRow("other harness never has funding")
        << file
        << installations(R"({"harness": "opencode", "user_funded_provider": "claude-subscription",)"
                         R"( "openai_subscription_auth": true})")
        << Harnesses{harness("opencode")};
    QTest::newRow("disabled true left out, false listed")
        << file
        << installations(R"({"harness": "opencode", "disabled": true},)"
                         R"({"harness": "codex", "disabled": false})")
        << Harnesses{harness("codex")};
    QTest::newRow("disabled not a boolean is listed")
        << file
        << installations(R"({"harness": "opencode", "disabled": "true"},)"
                         R"({"harness": "codex", "disabled": 1})")
        << Harnesses{harness("opencode"), harness("codex")};
    QTest::newRow("entry without harness skipped")
        << file
        << installations(R"({"user_funded_provider": "x"}, {"harness": null}, {"harness": 7},)"
                         R"({"harness": "codex"})")
        << Harnesses{harness("codex")};
    QTest::newRow("one object and one number")
        << file << installations(R"({"harness": "codex"}, 1)") << Harnesses{};
    QTest::newRow("null element") << file << installations(R"({"harness": "codex"}, null)")
                                  << Harnesses{};
    QTest::newRow("duplicates kept in file order")
        << file
        << installations(R"({"harness": "codex"}, {"harness": "claude-code"}, {"harness": "codex",)"
                         R"( "openai_subscription_auth": true})")
        << Harnesses{harness("codex"), harness("claude-code"),
                     harness("codex", u"subscription"_qs)};
    QTest::newRow("other members ignored")
        << file
        << QByteArray(R"({"installations": [{"harness": "opencode", "path": "/x", "n": [1]}],)"
                      R"( "extra": {}})")
        << Harnesses{harness("opencode")};
    QTest::newRow("installations missing")
        << file << QByteArray(R"({"harnesses": []})") << Harnesses{};
    QTest::newRow("installations an object")
        << file << QByteArray(R"({"installations": {"harness": "codex"}})") << Harnesses{};
    QTest::newRow("top level an array")
        << file << QByteArray(R"([{"harness": "codex"}])") << Harnesses{};
    QTest::newRow("invalid JSON") << file
                                  << QByteArray(R"({"installations": [{"harness": "codex"})")
                                  << Harnesses{};
    QTest::newRow("trailing garbage")
        << file << installations(R"({"harness": "codex"})") + "x" << Harnesses{};
    QTest::newRow("empty file") << file << QByteArray() << Harnesses{};
    QTest::newRow("unreadable") << int(Record::Unreadable)
                                << installations(R"({"harness": "codex"})") << Harnesses{};
}

void TestExistingInstallations::read()
{
    QFETCH(int, record);
    QFETCH(QByteArray, contents);
    QFETCH(Harnesses, expected);

    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString path = home.filePath(u".local/state/orvane/installations.json"_qs);
    switch (Record(record)) {
    case Record::File:
        QVERIFY(writeFile(path, contents));
        break;
    case Record::Missing:
        break;
    case Record::Directory:
        QVERIFY(QDir().mkpath(path));
        break;
    case Record::Unreadable:
        if (::geteuid() == 0)
            QSKIP("permissions do not keep root from reading");
        QVERIFY(writeFile(path, contents));
        QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
        break;
    }

    QCOMPARE(readExistingHarnesses(path), expected);
    QCOMPARE(hasExistingInstall(path), !expected.isEmpty());
}

void TestExistingInstallations::pathFromHomeKeptForTheProcess()
{
    const QString expected = m_home.path() + u"/.local/state/orvane/installations.json"_qs;
    QCOMPARE(installationsPath(), expected);
    QVERIFY(!hasExistingInstall());

    QVERIFY(writeFile(expected, installations(R"({"harness": "claude-code"})")));
    QVERIFY(hasExistingInstall());
    QCOMPARE(readExistingHarnesses(), Harnesses{harness("claude-code")});

    // A later change of HOME does not move the record.
    QTemporaryDir otherHome;
    qputenv("HOME", QFile::encodeName(otherHome.path()));
    QCOMPARE(installationsPath(), expected);
    QVERIFY(hasExistingInstall());
    qputenv("HOME", QFile::encodeName(m_home.path()));
}

QTEST_GUILESS_MAIN(TestExistingInstallations)
#include "tst_existinginstallations.moc"

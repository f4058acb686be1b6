#include "setup/ExistingInstallations.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Harnesses = QList<ExistingHarness>;
Q_DECLARE_METATYPE(Harnesses)

namespace {

ExistingHarness h(const char *id, const char *funding = nullptr)
{
    return {QLatin1String(id), funding ? std::optional(QLatin1String(funding)) : std::nullopt};
}

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(contents) == contents.size();
}

} // namespace

class TestExistingInstallations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void read_data();
    void read();
    void pathFromHomeKeptForTheProcess();
};

void TestExistingInstallations::read_data()
{
    QTest::addColumn<QByteArray>("contents"); // the whole file; null: none, "/": a folder
    QTest::addColumn<Harnesses>("expected");
    // Most rows are the elements of the "installations" array.
    const auto row = [](const char *name, const char *entries, const Harnesses &expected) {
        QTest::newRow(name) << R"({"version": 2, "installations": [)" + QByteArray(entries) + "]}"
                            << expected;
    };
    const auto file = [](const char *name, const char *contents, const Harnesses &expected) {
        QTest::newRow(name) << QByteArray(contents) << expected;
    };
    // clang-format off
    file("no file", nullptr, {});
    file("a folder in its place", "/", {});
    file("invalid JSON", R"({"installations": [{"harness": "codex"})", {});
    file("top level an array", R"([{"harness": "codex"}])", {});
    file("installations an object", R"({"installations": {"harness": "codex"}})", {});
    row("empty installations", "", {});
    row("claude subscription", R"({"harness": "claude-code", "user_funded_provider": "claude-subscription"})", {h("claude-code", "subscription")});
    row("claude other provider kept", R"({"harness": "claude-code", "user_funded_provider": "openrouter"})", {h("claude-code", "openrouter")});
    row("claude provider missing or not a string", R"({"harness": "claude-code"}, {"harness": "claude-code", "user_funded_provider": 3})", {h("claude-code"), h("claude-code")});
    row("claude ignores subscription auth", R"({"harness": "claude-code", "openai_subscription_auth": true})", {h("claude-code")});
    row("codex subscription auth wins", R"({"harness": "codex", "openai_subscription_auth": true, "user_funded_provider": "openai-api"})", {h("codex", "subscription")});
    row("codex subscription auth false", R"({"harness": "codex", "openai_subscription_auth": false, "user_funded_provider": "openai-api"})", {h("codex", "openai-api")});
    row("codex subscription auth not a boolean", R"({"harness": "codex", "openai_subscription_auth": "true"})", {h("codex")});
    row("codex claude-subscription kept", R"({"harness": "codex", "user_funded_provider": "claude-subscription"})", {h("codex", "claude-subscription")});
    row("other harness never has funding", R"({"harness": "opencode", "user_funded_provider": "x", "openai_subscription_auth": true})", {h("opencode")});
    row("disabled true left out, false listed", R"({"harness": "opencode", "disabled": true}, {"harness": "codex", "disabled": false})", {h("codex")});
    row("disabled not a boolean listed", R"({"harness": "opencode", "disabled": "true"}, {"harness": "codex", "disabled": 1})", {h("opencode"), h("codex")});
    row("entry without a harness string skipped", R"({"user_funded_provider": "x"}, {"harness": 7}, {"harness": "codex"})", {h("codex")});
    row("one object and one number", R"({"harness": "codex"}, 1)", {});
    row("duplicates kept in file order", R"({"harness": "codex"}, {"harness": "claude-code"}, {"harness": "codex", "openai_subscription_auth": true})", {h("codex"), h("claude-code"), h("codex", "subscription")});
    // clang-format on
}

void TestExistingInstallations::read()
{
    QFETCH(QByteArray, contents);
    QTemporaryDir home;
    const QString path = home.filePath(u".local/state/orvane/installations.json"_qs);
    if (contents == "/")
        QVERIFY(QDir().mkpath(path));
    else if (!contents.isNull())
        QVERIFY(writeFile(path, contents));
    QFETCH(Harnesses, expected);
    QCOMPARE(readExistingHarnesses(path), expected);
    QCOMPARE(hasExistingInstall(path), !expected.isEmpty());
}

void TestExistingInstallations::pathFromHomeKeptForTheProcess()
{
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    const QString expected = home.path() + u"/.local/state/orvane/installations.json"_qs;
    QCOMPARE(installationsPath(), expected);
    QVERIFY(!hasExistingInstall());
    QVERIFY(writeFile(expected, R"({"installations": [{"harness": "claude-code"}]})"));
    qputenv("HOME", "/nonexistent"); // a later change of HOME does not move the record
    QCOMPARE(installationsPath(), expected);
    QVERIFY(hasExistingInstall());
    QCOMPARE(readExistingHarnesses(), Harnesses{h("claude-code")});
}

QTEST_GUILESS_MAIN(TestExistingInstallations)
#include "tst_existinginstallations.moc"

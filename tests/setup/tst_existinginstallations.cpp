#include "setup/ExistingInstallations.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

class TestExistingInstallations : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("HOME", QFile::encodeName(m_home.path()));
        const QString path = m_home.path() + u"/.local/state/orvane/installations.json"_s;
        QCOMPARE(Setup::installationsPath(), path);
        qputenv("HOME", "/nonexistent"); // worked out once: a later HOME does not move it
        QCOMPARE(Setup::installationsPath(), path);
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("contents"); // the whole file; null: none
        QTest::addColumn<QString>("expected");    // "<id>[=<funding>]", in order
        // Most rows give the elements of the "installations" array.
        // clang-format off
        const auto row = [](const char *name, const char *entries, const char *expected, bool whole = false) { QTest::newRow(name) << (whole ? QByteArray(entries) : R"({"version": 2, "installations": [)" + QByteArray(entries) + "]}") << QString::fromUtf8(expected); };
        row("no file", nullptr, "", true);
        row("invalid JSON", R"({"installations": [{"harness": "codex"})", "", true);
        row("empty installations", "", "");
        row("claude subscription", R"({"harness": "claude-code", "user_funded_provider": "claude-subscription"})", "claude-code=subscription");
        row("claude other provider kept", R"({"harness": "claude-code", "user_funded_provider": "openrouter"})", "claude-code=openrouter");
        row("claude: no provider string, subscription auth ignored", R"({"harness": "claude-code"}, {"harness": "claude-code", "user_funded_provider": 3}, {"harness": "claude-code", "openai_subscription_auth": true})", "claude-code claude-code claude-code");
        row("codex subscription auth wins", R"({"harness": "codex", "openai_subscription_auth": true, "user_funded_provider": "openai-api"})", "codex=subscription");
        row("codex subscription auth false", R"({"harness": "codex", "openai_subscription_auth": false, "user_funded_provider": "openai-api"})", "codex=openai-api");
        row("codex: auth not a boolean, claude-subscription kept", R"({"harness": "codex", "openai_subscription_auth": "true"}, {"harness": "codex", "user_funded_provider": "claude-subscription"})", "codex codex=claude-subscription");
        row("other harness never has funding", R"({"harness": "opencode", "user_funded_provider": "x", "openai_subscription_auth": true})", "opencode");
        row("disabled true left out, false listed", R"({"harness": "opencode", "disabled": true}, {"harness": "codex", "disabled": false})", "codex");
        row("disabled not a boolean listed", R"({"harness": "opencode", "disabled": "true"}, {"harness": "codex", "disabled": 1})", "opencode codex");
        row("entry without a harness string skipped", R"({"user_funded_provider": "x"}, {"harness": 7}, {"harness": "codex"})", "codex");
        row("one object and one number", R"({"harness": "codex"}, 1)", "");
        // A named pipe where the file is expected would block a reader for ever (other kinds of
        // file and a file past the size cap are the gateway configuration's rows).
        row("named pipe", "<pipe>", "", true);
        row("duplicates kept in file order", R"({"harness": "codex"}, {"harness": "claude-code"}, {"harness": "codex", "openai_subscription_auth": true})", "codex claude-code codex=subscription");
        // clang-format on
    }

    void read()
    {
        QFETCH(QByteArray, contents);
        QFile file(Setup::installationsPath());
        QVERIFY(QDir().mkpath(QFileInfo(file).path()) && (!file.exists() || file.remove()));
        if (contents == "<pipe>")
            QCOMPARE(::mkfifo(QFile::encodeName(file.fileName()).constData(), 0600), 0);
        else if (!contents.isNull())
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
        file.close();
        QStringList found;
        for (const Setup::ExistingHarness &harness : Setup::readExistingHarnesses())
            found.append(harness.id + (harness.funding ? u'=' + *harness.funding : QString()));
        QTEST(found.join(u' '), "expected");
        QCOMPARE(Setup::hasExistingInstall(), !found.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestExistingInstallations)
#include "tst_existinginstallations.moc"

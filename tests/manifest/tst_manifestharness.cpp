#include "manifest/ManifestHarness.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestManifestHarness : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void isDetected_data();
    void isDetected();
    void isDetectedUsesTheUsersHome();

private:
    QTemporaryDir m_home;
};

void TestManifestHarness::initTestCase()
{
    QVERIFY(m_home.isValid());
    const QDir home(m_home.path());
    QVERIFY(home.mkpath(QStringLiteral(".codex/sessions")));
    QVERIFY(home.mkpath(QStringLiteral(".config/opencode")));
    QFile file(home.filePath(QStringLiteral(".claude.json")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(QFile::link(home.filePath(QStringLiteral("gone")),
                        home.filePath(QStringLiteral(".dangling"))));
}

void TestManifestHarness::isDetected_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<bool>("detected");
    QTest::newRow("no paths") << QStringList() << false;
    QTest::newRow("missing directory") << QStringList{QStringLiteral("~/.claude")} << false;
    QTest::newRow("existing file") << QStringList{QStringLiteral("~/.claude.json")} << true;
    QTest::newRow("existing directory") << QStringList{QStringLiteral("~/.codex")} << true;
    QTest::newRow("first missing, second exists")
        << QStringList{QStringLiteral("~/.claude"), QStringLiteral("~/.config/opencode")} << true;
    QTest::newRow("first exists, second missing")
        << QStringList{QStringLiteral("~/.codex/sessions"), QStringLiteral("~/.nothing")} << true;
    QTest::newRow("all missing") << QStringList{QStringLiteral("~/.a"), QStringLiteral("~/.b"),
                                                QStringLiteral("~/.c")}
                                 << false;
    QTest::newRow("home itself") << QStringList{QStringLiteral("~")} << true;
    QTest::newRow("dangling link") << QStringList{QStringLiteral("~/.dangling")} << false;
    QTest::newRow("empty path") << QStringList{QString()} << false;
    QTest::newRow("other user's home untouched")
        << QStringList{QStringLiteral("~nosuchuser/.codex")} << false;
    QTest::newRow("absolute path") << QStringList{QDir::rootPath()} << true;
}

void TestManifestHarness::isDetected()
{
    QFETCH(QStringList, paths);
    QFETCH(bool, detected);
    ManifestHarness harness;
    harness.id = QStringLiteral("tool");
    harness.configPaths = paths;
    QCOMPARE(harness.isDetected(m_home.path()), detected);
}

void TestManifestHarness::isDetectedUsesTheUsersHome()
{
    ManifestHarness harness;
    harness.configPaths = {QStringLiteral("~/.claude"), QStringLiteral("~/.codex")};
    const QByteArray saved = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(m_home.path()));
    const bool inFixtureHome = harness.isDetected();
    qputenv("HOME", QFile::encodeName(m_home.path() + QStringLiteral("/.codex/sessions")));
    const bool elsewhere = harness.isDetected();
    qputenv("HOME", saved);
    QVERIFY(inFixtureHome);
    QVERIFY(!elsewhere);
}

QTEST_GUILESS_MAIN(TestManifestHarness)
#include "tst_manifestharness.moc"

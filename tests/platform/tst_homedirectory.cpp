#include "platform/HomeDirectory.h"

#include <QTest>

#include <pwd.h>
#include <unistd.h>

class TestHomeDirectory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void homeFromEnvironment_data();
    void homeFromEnvironment();
    void expandTilde_data();
    void expandTilde();

private:
    static QString passwordHome() { return QString::fromLocal8Bit(::getpwuid(::getuid())->pw_dir); }
};

void TestHomeDirectory::homeFromEnvironment_data()
{
    QTest::addColumn<bool>("set");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("absolute") << true << QStringLiteral("/tmp/fixture-home") << QStringLiteral("/tmp/fixture-home");
    QTest::newRow("trailing slash") << true << QStringLiteral("/tmp/fixture-home/") << QStringLiteral("/tmp/fixture-home");
    QTest::newRow("relative falls back") << true << QStringLiteral("relative/home") << QString();
    QTest::newRow("empty falls back") << true << QString() << QString();
    QTest::newRow("unset falls back") << false << QString() << QString();
}

void TestHomeDirectory::homeFromEnvironment()
{
    QFETCH(bool, set);
    QFETCH(QString, value);
    QFETCH(QString, expected);
    const QByteArray saved = qgetenv("HOME");
    if (set)
        qputenv("HOME", value.toLocal8Bit());
    else
        qunsetenv("HOME");
    const QString home = Platform::homeDirectory();
    qputenv("HOME", saved);
    QCOMPARE(home, expected.isEmpty() ? passwordHome() : expected);
}

void TestHomeDirectory::expandTilde_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("alone") << QStringLiteral("~") << QStringLiteral("/home/ada");
    QTest::newRow("with path") << QStringLiteral("~/.claude") << QStringLiteral("/home/ada/.claude");
    QTest::newRow("other user untouched") << QStringLiteral("~bob/x") << QStringLiteral("~bob/x");
    QTest::newRow("inner tilde untouched") << QStringLiteral("/a/~/b") << QStringLiteral("/a/~/b");
    QTest::newRow("absolute") << QStringLiteral("/etc/hosts") << QStringLiteral("/etc/hosts");
}

void TestHomeDirectory::expandTilde()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(Platform::expandTilde(path, QStringLiteral("/home/ada")), expected);
}

QTEST_GUILESS_MAIN(TestHomeDirectory)
#include "tst_homedirectory.moc"

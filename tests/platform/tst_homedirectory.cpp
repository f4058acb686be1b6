#include "platform/HomeDirectory.h"

#include <QTest>

#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestHomeDirectory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void home_data()
    {
        // HOME's value (null: unset) and the home expected; empty: the password database's entry.
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("absolute") << u"/tmp/fixture-home"_s << u"/tmp/fixture-home"_s;
        QTest::newRow("trailing slash") << u"/tmp/fixture-home/"_s << u"/tmp/fixture-home"_s;
        // "ÿ" stands for the byte 0xff: the path stays bytes.
        QTest::newRow("not UTF-8") << u"/tmp/hÿ"_s << u"/tmp/hÿ"_s;
        QTest::newRow("relative falls back") << u"relative/home"_s << QString();
        QTest::newRow("empty falls back") << u""_s << QString();
        QTest::newRow("unset falls back") << QString() << QString();
    }

    void home()
    {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        const auto bytes = [](const QString &path) { return path.toUtf8().replace("\xc3\xbf", "\xff"); };
        const QByteArray saved = qgetenv("HOME");
        value.isNull() ? qunsetenv("HOME") : qputenv("HOME", bytes(value));
        const QByteArray home = Platform::homePath();
        qputenv("HOME", saved);
        QCOMPARE(home, expected.isEmpty() ? QByteArray(::getpwuid(::getuid())->pw_dir) : bytes(expected));
    }

    void expandTilde_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("alone") << u"~"_s << u"/home/ada"_s;
        QTest::newRow("with path") << u"~/.claude"_s << u"/home/ada/.claude"_s;
        QTest::newRow("other user untouched") << u"~bob/x"_s << u"~bob/x"_s;
        QTest::newRow("inner tilde untouched") << u"/a/~/b"_s << u"/a/~/b"_s;
    }

    void expandTilde()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(Platform::expandTilde(path, u"/home/ada"_s), expected);
    }
};

QTEST_GUILESS_MAIN(TestHomeDirectory)
#include "tst_homedirectory.moc"

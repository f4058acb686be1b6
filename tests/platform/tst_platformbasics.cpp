// The platform's small pieces: the home folder, the settings file and the real timers.
#include "platform/HomeDirectory.h"
#include "platform/SettingsFile.h"
#include "platform/Timers.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

class TestPlatformBasics : public QObject
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
    }

    void expandTilde()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(Platform::expandTilde(path, u"/home/ada"_s), expected);
    }

    // Whatever lies at the settings path, start-up goes on at once with settings that keep what
    // is set; only a regular file of the user's, of a sane size, is read and written.
    void whatLiesAtThePath_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("used");
        QTest::newRow("regular file") << u"file"_s << true;
        QTest::newRow("nothing yet") << u"none"_s << true;
        QTest::newRow("link to a file") << u"link"_s << false;
        QTest::newRow("named pipe") << u"fifo"_s << false;
        QTest::newRow("over 1 MiB") << u"huge"_s << false;
    }
    void whatLiesAtThePath()
    {
        QFETCH(QString, kind);
        QFETCH(bool, used);
        QTemporaryDir home;
        const QString path = home.filePath(u"Orvane.conf"_s);
        const QString target = home.filePath(u"target"_s);
        QFile file(kind == u"link"_s ? target : path);
        if (kind == u"file"_s || kind == u"link"_s || kind == u"huge"_s) {
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[General]\nkept=1\n");
            if (kind == u"huge"_s)
                file.write(QByteArray(2 << 20, '#'));
            file.close();
        }
        if (kind == u"link"_s)
            QVERIFY(QFile::link(target, path));
        if (kind == u"fifo"_s)
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);

        struct stat before{};
        ::lstat(QFile::encodeName(path).constData(), &before);
        {
            std::unique_ptr<QSettings> settings = Platform::openSettings(path);
            QCOMPARE(settings->value(u"kept"_s).isValid(), used && kind != u"none"_s);
            settings->setValue(u"origin"_s, 42);
            settings->sync();
            QCOMPARE(settings->value(u"origin"_s).toInt(), 42);
        }
        struct stat after{};
        ::lstat(QFile::encodeName(path).constData(), &after);
        if (used) {
            QCOMPARE(QSettings(path, QSettings::IniFormat).value(u"origin"_s).toInt(), 42);
        } else {
            // Neither the thing at the path nor what a link leads to was changed.
            QVERIFY(before.st_mode == after.st_mode && before.st_size == after.st_size &&
                    before.st_ino == after.st_ino);
            QCOMPARE(QFileInfo(target).size(), kind == u"link"_s ? 17 : 0);
        }
    }

    // A delayed call is a deadline (a gateway gives up after it, a terminal opens after it), so it
    // never comes early, however long the delay. All run at once: the check takes the longest.
    void singleShotNeverFiresEarly()
    {
        const std::vector<std::chrono::milliseconds> delays{50ms, 999ms, 1500ms, 2500ms};
        std::vector<qint64> firedAfter(delays.size(), -1);
        std::vector<std::unique_ptr<Platform::TimerHandle>> handles;
        QElapsedTimer since;
        since.start();
        for (std::size_t i = 0; i < delays.size(); ++i)
            handles.push_back(Platform::QtTimers::instance().singleShot(
                delays[i], [&, i] { firedAfter[i] = since.elapsed(); }));
        QTRY_VERIFY_WITH_TIMEOUT(firedAfter.back() >= 0, 10000);
        for (std::size_t i = 0; i < delays.size(); ++i) {
            QVERIFY2(firedAfter[i] >= delays[i].count(),
                     qPrintable(QStringLiteral("%1 ms fired after %2 ms")
                                    .arg(delays[i].count())
                                    .arg(firedAfter[i])));
            QVERIFY(!handles[i]->isActive());
        }
    }
};

QTEST_GUILESS_MAIN(TestPlatformBasics)
#include "tst_platformbasics.moc"

#include "platform/SettingsFile.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

class TestSettingsFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        QTest::newRow("folder") << u"folder"_s << false;
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
        if (kind == u"folder"_s)
            QVERIFY(QDir().mkpath(path));

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
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"

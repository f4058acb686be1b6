#include "platform/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

struct FixtureFile
{
    int folder; // index into the searched folders
    QString relativePath;
    QByteArray contents;
};
Q_DECLARE_METATYPE(QList<FixtureFile>)

class TestDesktopEntry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data();
    void parse();
    void find_data();
    void find();
    void applicationDirectories_data();
    void applicationDirectories();
};

void TestDesktopEntry::parse_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("wmClass");
    QTest::addColumn<QString>("tryExec");
    QTest::addColumn<bool>("hidden");

    QTest::newRow("plain") << QByteArray("[Desktop Entry]\nType=Application\nName=OpenCode\n"
                                         "StartupWMClass=OpenCode\nTryExec=opencode-desktop\n")
                           << true << u"OpenCode"_qs << u"OpenCode"_qs << u"opencode-desktop"_qs
                           << false;
    QTest::newRow("spaces around equals, comments, CRLF")
        << QByteArray("# OpenCode\r\n[Desktop Entry]\r\n  Name = OpenCode  \r\nHidden= true\r\n")
        << true << u"OpenCode"_qs << QString() << QString() << true;
    QTest::newRow("localised names are other keys")
        << QByteArray("[Desktop Entry]\nName[de]=OpenCode\nName=Open Code\n") << true
        << u"Open Code"_qs << QString() << QString() << false;
    QTest::newRow("escapes") << QByteArray("[Desktop Entry]\nName=Open\\sCode\\\\x\n") << true
                             << u"Open Code\\x"_qs << QString() << QString() << false;
    QTest::newRow("actions group does not override")
        << QByteArray("[Desktop Entry]\nName=OpenCode\n[Desktop Action new]\nName=New window\n"
                      "Hidden=true\n")
        << true << u"OpenCode"_qs << QString() << QString() << false;
    QTest::newRow("keys before the group are ignored")
        << QByteArray("Name=OpenCode\n[Desktop Entry]\nName=Other\n") << true << u"Other"_qs
        << QString() << QString() << false;
    QTest::newRow("Hidden only when exactly true")
        << QByteArray("[Desktop Entry]\nName=OpenCode\nHidden=True\n") << true << u"OpenCode"_qs
        << QString() << QString() << false;
    QTest::newRow("no main group") << QByteArray("[Other]\nName=OpenCode\n") << false << QString()
                                   << QString() << QString() << false;
    QTest::newRow("empty file") << QByteArray() << false << QString() << QString() << QString()
                                << false;
}

void TestDesktopEntry::parse()
{
    QFETCH(QByteArray, contents);
    QFETCH(bool, valid);
    const auto entry = Platform::DesktopEntry::parse(u"/x/app.desktop"_qs, contents);
    QCOMPARE(entry.has_value(), valid);
    if (!valid)
        return;
    QTEST(entry->name(), "name");
    QTEST(entry->startupWmClass(), "wmClass");
    QTEST(entry->tryExec(), "tryExec");
    QTEST(entry->isHidden(), "hidden");
}

void TestDesktopEntry::find_data()
{
    QTest::addColumn<QList<FixtureFile>>("files");
    QTest::addColumn<int>("expectedFolder"); // -1: nothing found
    QTest::addColumn<QString>("expectedPath");

    const QByteArray named("[Desktop Entry]\nType=Application\nName=OpenCode\n");
    const QByteArray byClass("[Desktop Entry]\nName=Open Code\nStartupWMClass=OpenCode\n");
    const QByteArray other("[Desktop Entry]\nName=Other\n");
    const QByteArray hidden("[Desktop Entry]\nName=OpenCode\nHidden=true\n");
    const QByteArray missingTry("[Desktop Entry]\nName=OpenCode\nTryExec=orvane-no-such-program\n");
    const QByteArray missingAbsolute("[Desktop Entry]\nName=OpenCode\nTryExec=/nonexistent/oc\n");
    const QByteArray tryInPath("[Desktop Entry]\nName=OpenCode\nTryExec=sh\n");
    const QByteArray tryAbsolute("[Desktop Entry]\nName=OpenCode\nTryExec=/bin/sh\n");
    const QByteArray tryNotExecutable("[Desktop Entry]\nName=OpenCode\nTryExec=@ROOT@/plain\n");
    const QByteArray lowerName("[Desktop Entry]\nName=opencode\nStartupWMClass=opencode\n");

    QTest::newRow("none anywhere")
        << QList<FixtureFile>{{0, u"a.desktop"_qs, other}} << -1 << QString();
    QTest::newRow("by name in a system folder")
        << QList<FixtureFile>{{1, u"other.desktop"_qs, other}, {2, u"opencode.desktop"_qs, named}}
        << 2 << u"opencode.desktop"_qs;
    QTest::newRow("by window class")
        << QList<FixtureFile>{{1, u"oc.desktop"_qs, byClass}} << 1 << u"oc.desktop"_qs;
    QTest::newRow("user folder first")
        << QList<FixtureFile>{{0, u"mine.desktop"_qs, named}, {1, u"sys.desktop"_qs, named}} << 0
        << u"mine.desktop"_qs;
    QTest::newRow("names compared exactly")
        << QList<FixtureFile>{{0, u"oc.desktop"_qs, lowerName}} << -1 << QString();
    QTest::newRow("hidden skipped, next folder's entry used")
        << QList<FixtureFile>{{0, u"a.desktop"_qs, hidden}, {1, u"b.desktop"_qs, named}} << 1
        << u"b.desktop"_qs;
    QTest::newRow("hidden copy removes the same id below")
        << QList<FixtureFile>{{0, u"opencode.desktop"_qs, hidden},
                              {2, u"opencode.desktop"_qs, named}}
        << -1 << QString();
    QTest::newRow("TryExec not in PATH skipped")
        << QList<FixtureFile>{{0, u"a.desktop"_qs, missingTry}, {0, u"b.desktop"_qs, byClass}} << 0
        << u"b.desktop"_qs;
    QTest::newRow("TryExec absolute missing skipped")
        << QList<FixtureFile>{{0, u"a.desktop"_qs, missingAbsolute}} << -1 << QString();
    QTest::newRow("TryExec absolute not executable skipped")
        << QList<FixtureFile>{{0, u"a.desktop"_qs, tryNotExecutable}} << -1 << QString();
    QTest::newRow("TryExec found in PATH")
        << QList<FixtureFile>{{1, u"a.desktop"_qs, tryInPath}} << 1 << u"a.desktop"_qs;
    QTest::newRow("TryExec absolute present")
        << QList<FixtureFile>{{1, u"a.desktop"_qs, tryAbsolute}} << 1 << u"a.desktop"_qs;
    QTest::newRow("first by file name within a folder")
        << QList<FixtureFile>{{1, u"z.desktop"_qs, named}, {1, u"b.desktop"_qs, byClass}} << 1
        << u"b.desktop"_qs;
    QTest::newRow("subfolders searched")
        << QList<FixtureFile>{{2, u"vendor/opencode.desktop"_qs, named}} << 2
        << u"vendor/opencode.desktop"_qs;
    QTest::newRow("other extensions ignored")
        << QList<FixtureFile>{{0, u"opencode.desktop.bak"_qs, named}} << -1 << QString();
}

void TestDesktopEntry::find()
{
    QFETCH(QList<FixtureFile>, files);
    QFETCH(int, expectedFolder);
    QFETCH(QString, expectedPath);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    // The third folder does not exist until a file is put in it, like an unused data dir.
    const QStringList folders{root.filePath(u"home/applications"_qs),
                              root.filePath(u"local/applications"_qs),
                              root.filePath(u"usr/applications"_qs)};
    {
        QFile plain(root.filePath(u"plain"_qs));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        QVERIFY(plain.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    }
    for (const FixtureFile &file : std::as_const(files)) {
        const QString path = folders.at(file.folder) + u'/' + file.relativePath;
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QByteArray(file.contents).replace("@ROOT@", QFile::encodeName(root.path())));
    }

    const auto found = Platform::findDesktopEntry(u"OpenCode"_qs, folders);
    if (expectedFolder < 0) {
        QCOMPARE(found, std::nullopt);
        return;
    }
    QCOMPARE(found, std::optional(folders.at(expectedFolder) + u'/' + expectedPath));
}

void TestDesktopEntry::applicationDirectories_data()
{
    QTest::addColumn<QByteArray>("dataHome");
    QTest::addColumn<QByteArray>("dataDirs");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("defaults") << QByteArray() << QByteArray()
                              << QStringList{u"/home/ada/.local/share/applications"_qs,
                                             u"/usr/local/share/applications"_qs,
                                             u"/usr/share/applications"_qs};
    QTest::newRow("set") << QByteArray("/data/home/") << QByteArray("/opt/share:/usr/share/")
                         << QStringList{u"/data/home/applications"_qs,
                                        u"/opt/share/applications"_qs,
                                        u"/usr/share/applications"_qs};
    QTest::newRow("relative ones ignored")
        << QByteArray("relative/home") << QByteArray("rel:/opt/share::")
        << QStringList{u"/home/ada/.local/share/applications"_qs, u"/opt/share/applications"_qs};
}

void TestDesktopEntry::applicationDirectories()
{
    QFETCH(QByteArray, dataHome);
    QFETCH(QByteArray, dataDirs);
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", "/home/ada");
    qputenv("XDG_DATA_HOME", dataHome);
    qputenv("XDG_DATA_DIRS", dataDirs);
    const QStringList directories = Platform::applicationDirectories();
    qputenv("HOME", savedHome);
    QTEST(directories, "expected");
}

QTEST_GUILESS_MAIN(TestDesktopEntry)
#include "tst_desktopentry.moc"

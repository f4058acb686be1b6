#include "platform/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestDesktopEntry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void find_data();
    void find();
    void applicationDirectories();
};

void TestDesktopEntry::find_data()
{
    // "<folder>/<path>:<lines>|...": folders searched in index order; ";" ends a line, "@" is the
    // fixture root, and "[Desktop Entry]" comes first unless the lines start with "^".
    QTest::addColumn<QString>("files");
    QTest::addColumn<QString>("expected"); // "<folder>/<path>"; empty: nothing found
    // clang-format off
    const auto row = [](const char *name, const char *files, const char *expected) { QTest::newRow(name) << QString::fromUtf8(files) << QString::fromUtf8(expected); };
    row("by name in a system folder", "1/other.desktop:Name=Other|2/opencode.desktop:Type=Application;Name=OpenCode", "2/opencode.desktop");
    row("by window class", "1/oc.desktop:Name=Open Code;StartupWMClass=OpenCode", "1/oc.desktop");
    row("user folder first", "0/mine.desktop:Name=OpenCode|1/sys.desktop:Name=OpenCode", "0/mine.desktop");
    row("names compared exactly", "0/oc.desktop:Name=opencode;StartupWMClass=opencode", "");
    row("hidden skipped, next folder's entry used", "0/a.desktop:Name=OpenCode;Hidden=true|1/b.desktop:Name=OpenCode", "1/b.desktop");
    row("hidden copy removes the same id below", "0/opencode.desktop:Name=OpenCode;Hidden=true|2/opencode.desktop:Name=OpenCode", "");
    row("Hidden only when exactly true", "0/a.desktop:Name=OpenCode;Hidden=True", "0/a.desktop");
    row("TryExec not in PATH skipped", "0/a.desktop:Name=OpenCode;TryExec=orvane-no-such-program|0/b.desktop:StartupWMClass=OpenCode", "0/b.desktop");
    row("TryExec absolute missing skipped", "0/a.desktop:Name=OpenCode;TryExec=/nonexistent/oc", "");
    row("TryExec absolute not executable skipped", "0/a.desktop:Name=OpenCode;TryExec=@/0/a.desktop", "");
    row("TryExec found in PATH", "1/a.desktop:Name=OpenCode;TryExec=sh", "1/a.desktop");
    row("TryExec absolute present", "1/a.desktop:Name=OpenCode;TryExec=/bin/sh", "1/a.desktop");
    row("first by file name within a folder", "1/z.desktop:Name=OpenCode|1/b.desktop:StartupWMClass=OpenCode", "1/b.desktop");
    row("subfolders searched", "2/vendor/opencode.desktop:Name=OpenCode", "2/vendor/opencode.desktop");
    row("other extensions ignored", "0/opencode.desktop.bak:Name=OpenCode", "");
    row("spaces around equals, comments, CRLF", "0/a.desktop:^# Hidden=true\r;[Desktop Entry]\r;  Name = OpenCode  \r", "0/a.desktop");
    row("only the main group's own keys count", "0/a.desktop:Name=Other;[Desktop Action new];Name=OpenCode|0/b.desktop:^Name=OpenCode;[Desktop Entry];Name=Other|0/c.desktop:Name[de]=OpenCode;Name=Open Code|0/d.desktop:^[Other];Name=OpenCode", "");
    row("an action's keys do not override the entry's", "0/a.desktop:Name=OpenCode;[Desktop Action new];Hidden=true", "0/a.desktop");
    // clang-format on
}

void TestDesktopEntry::find()
{
    QFETCH(QString, files);
    QFETCH(QString, expected);
    QTemporaryDir root;
    for (const QString &file : files.split(u'|')) {
        const QString path = root.filePath(file.section(u':', 0, 0));
        QString lines = file.section(u':', 1).replace(u'@', root.path());
        lines = lines.startsWith(u'^') ? lines.mid(1) : u"[Desktop Entry];"_qs + lines;
        QFile out(path);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()) && out.open(QIODevice::WriteOnly));
        out.write(lines.replace(u';', u'\n').toUtf8());
    }
    // The third folder does not exist unless a row puts a file in it, like an unused data dir.
    const QStringList folders{root.filePath(u"0"_qs), root.filePath(u"1"_qs),
                              root.filePath(u"2"_qs)};
    const auto found = Platform::findDesktopEntry(u"OpenCode"_qs, folders);
    QCOMPARE(found.value_or(QString()), expected.isEmpty() ? QString() : root.filePath(expected));
}

void TestDesktopEntry::applicationDirectories()
{
    qputenv("HOME", "/home/ada");
    const auto directories = [](const char *dataHome, const char *dataDirs) {
        qputenv("XDG_DATA_HOME", dataHome);
        qputenv("XDG_DATA_DIRS", dataDirs);
        return Platform::applicationDirectories().join(u' ');
    };
    // clang-format off
    QCOMPARE(directories("", ""), u"/home/ada/.local/share/applications /usr/local/share/applications /usr/share/applications"_qs);
    QCOMPARE(directories("/data/home/", "/opt/share:/usr/share/"), u"/data/home/applications /opt/share/applications /usr/share/applications"_qs);
    QCOMPARE(directories("relative/home", "rel:/opt/share::"), u"/home/ada/.local/share/applications /opt/share/applications"_qs);
    // clang-format on
}

QTEST_GUILESS_MAIN(TestDesktopEntry)
#include "tst_desktopentry.moc"

// The program as `cmake --install` lays it out (the same tree the .deb carries): exactly the
// files a desktop needs and nothing of the developer's, a menu entry and AppStream metadata
// that the freedesktop validators accept and that agree with each other, and icons drawn from
// the app mark. That the installed program starts in the window its entry names is the
// journey's to show.
#include "design/Design.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

namespace {

const QList<int> iconSizes = {16, 22, 24, 32, 48, 64, 128, 256, 512};

struct Run
{
    int exitCode = -1;
    QByteArray output;
};

Run run(const QString &program, const QStringList &arguments,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000))
        return {-1, "did not finish: " + program.toUtf8()};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAll()};
}

QStringList filesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(root).relativeFilePath(it.next()));
    files.sort();
    return files;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray gunzip(const QString &path)
{
    const Run result = run(u"gzip"_s, {u"-dc"_s, path});
    return result.exitCode == 0 ? result.output : QByteArray();
}

int colourDistance(QRgb a, const QColor &b)
{
    return qAbs(qRed(a) - b.red()) + qAbs(qGreen(a) - b.green()) + qAbs(qBlue(a) - b.blue());
}

} // namespace

class TestInstallation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void layout();
    void icons();
    void desktopEntry();
    void appStreamMetadata();

private:
    QString installed(const QString &relative) const { return m_prefix + u'/' + relative; }
    QString desktopFile() const { return installed(u"share/applications/orvane.desktop"_s); }
    QString desktopKey(const QString &key) const
    {
        QSettings entry(desktopFile(), QSettings::IniFormat);
        return entry.value(u"Desktop Entry/"_s + key).toString();
    }
    void requireTool(const QString &name) const
    {
        if (QStandardPaths::findExecutable(name).isEmpty())
            QSKIP(qPrintable(name + u" is not installed (scripts/dev installs it)"_s));
    }
    QString metainfoFile() const
    {
        return installed(u"share/metainfo/dev.orvane.orvane.metainfo.xml"_s);
    }

    QTemporaryDir m_destdir;
    QString m_prefix;
};

void TestInstallation::initTestCase()
{
    QVERIFY(m_destdir.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DESTDIR"_s, m_destdir.path());
    const Run install = run(QStringLiteral(ORVANE_CMAKE_COMMAND),
                            {u"--install"_s, QStringLiteral(ORVANE_BUILD_DIR), u"--prefix"_s, u"/usr"_s},
                            environment);
    QVERIFY2(install.exitCode == 0, install.output.constData());
    m_prefix = m_destdir.filePath(u"usr"_s);
}

void TestInstallation::layout()
{
    QStringList expected = {
        u"bin/orvane"_s,
        u"share/applications/orvane.desktop"_s,
        u"share/metainfo/dev.orvane.orvane.metainfo.xml"_s,
        // The GNOME Shell extension, for GNOME 43 and 44 and for 45 on.
        u"share/gnome-shell/extensions/active-window@orvane.dev/metadata.json"_s,
        u"share/gnome-shell/extensions/active-window@orvane.dev/__init__.js"_s,
        u"share/gnome-shell/extensions/active-window@orvane.dev/extension.js"_s,
        u"share/icons/hicolor/scalable/apps/orvane.svg"_s,
        u"share/man/man1/orvane.1.gz"_s,
        u"share/doc/orvane/copyright"_s,
        u"share/doc/orvane/changelog.gz"_s,
    };
    for (const int size : iconSizes)
        expected.append(u"share/icons/hicolor/%1x%1/apps/orvane.png"_s.arg(size));
    // The data folder is the build tree's, file for file; fonts travel with their licence.
    const QString built = QStringLiteral(ORVANE_BUILD_DIR "/share/orvane");
    const QStringList data = filesBelow(built);
    QVERIFY(data.contains(u"install-manifest.json"_s));
    QCOMPARE(data.filter(u"Archivo-OFL.txt"_s).size(), data.filter(u".ttf"_s).isEmpty() ? 0 : 1);
    for (const QString &file : data) {
        expected.append(u"share/orvane/"_s + file);
        QCOMPARE(readAll(installed(expected.last())), readAll(built + u'/' + file));
    }
    expected.sort();
    // No developer tool, benchmark or test, and nothing outside the prefix.
    QCOMPARE(filesBelow(m_prefix), expected);
    QCOMPARE(filesBelow(m_destdir.path()).size(), expected.size());
    for (const QString &file : expected)
        QVERIFY2(QFileInfo(installed(file)).isExecutable() == (file == u"bin/orvane"_s),
                 qPrintable(file));
}

void TestInstallation::icons()
{
    for (const int size : iconSizes) {
        const QString path = installed(u"share/icons/hicolor/%1x%1/apps/orvane.png"_s.arg(size));
        const QImage image = QImage(path).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(size, size));
        // Drawn from the mark (its drawing is the design suite's): rounded corners left clear,
        // the square's flat left side, halfway down, in the mark's red.
        QVERIFY2(qAlpha(image.pixel(0, 0)) < 16 && qAlpha(image.pixel(size - 1, 0)) < 16, qPrintable(path));
        const QRgb side = image.pixel(size / 5, size / 2);
        QVERIFY2(qAlpha(side) == 255 && colourDistance(side, Design::red()) < 12, qPrintable(path));
    }
}

void TestInstallation::desktopEntry()
{
    // The program and the icons the layout holds; the window's class is the entry's
    // StartupWMClass: the journey's to show.
    QCOMPARE(desktopKey(u"Exec"_s).section(u' ', 0, 0), u"orvane"_s);
    QCOMPARE(desktopKey(u"Icon"_s), u"orvane"_s);

    requireTool(u"desktop-file-validate"_s);
    const Run validate = run(u"desktop-file-validate"_s, {desktopFile()});
    QVERIFY2(validate.exitCode == 0 && validate.output.isEmpty(), validate.output.constData());
}

void TestInstallation::appStreamMetadata()
{
    // What the metadata names, by element; a release's version, the first (newest) one.
    QFile file(metainfoFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QMap<QString, QString> named;
    for (QXmlStreamReader xml(&file); !xml.atEnd();) {
        if (xml.readNext() != QXmlStreamReader::StartElement || named.contains(xml.name().toString()))
            continue;
        if (xml.name() == u"release"_s)
            named.insert(u"release"_s, xml.attributes().value(u"version"_s).toString());
        else if (QStringList{u"id"_s, u"launchable"_s, u"binary"_s}.contains(xml.name()))
            named.insert(xml.name().toString(), xml.readElementText());
    }
    QCOMPARE(QFileInfo(metainfoFile()).fileName(), named.value(u"id"_s) + u".metainfo.xml"_s);
    QCOMPARE(named.value(u"launchable"_s), QFileInfo(desktopFile()).fileName());
    QVERIFY(QFileInfo(installed(u"bin/"_s + named.value(u"binary"_s))).isExecutable());

    // The version is the same everywhere.
    const QString version = QStringLiteral(ORVANE_VERSION);
    QCOMPARE(named.value(u"release"_s), version);
    const QByteArray changelog = gunzip(installed(u"share/doc/orvane/changelog.gz"_s));
    QCOMPARE(changelog.left(changelog.indexOf('\n')),
             QByteArray("orvane (" + version.toUtf8() + ") unstable; urgency=medium"));
    const QByteArray manual = gunzip(installed(u"share/man/man1/orvane.1.gz"_s));
    QVERIFY2(manual.startsWith(".TH ORVANE 1 ") && manual.contains(QByteArray("\"Orvane " + version.toUtf8() + '"')),
             manual.left(80).constData());

    requireTool(u"appstreamcli"_s);
    const Run validate = run(u"appstreamcli"_s, {u"validate"_s, u"--no-net"_s, metainfoFile()});
    QVERIFY2(validate.exitCode == 0, validate.output.constData());
}

QTEST_GUILESS_MAIN(TestInstallation)

#include "tst_installation.moc"

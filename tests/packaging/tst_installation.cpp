// The program as `cmake --install` lays it out (the same tree the .deb carries): exactly the
// files a desktop needs and nothing of the developer's, a menu entry and AppStream metadata
// that the freedesktop validators accept, icons drawn from the app mark, and an installed copy,
// away from the build tree, that starts on a real X server with a window the desktop matches
// to its menu entry.
#include "design/Design.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <memory>

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
    void dataFolderMatchesTheBuildTree();
    void icons_data();
    void icons();
    void scalableIcon();
    void desktopEntry();
    void appStreamMetadata();
    void versionIsTheSameEverywhere();
    void installedProgramStartsUnderX11();
    void cleanup();

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
    std::unique_ptr<QProcess> m_xserver;
    std::unique_ptr<QProcess> m_program;
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
    // The data folder is checked against the build tree below; here only its presence.
    QStringList actual;
    for (const QString &file : filesBelow(m_prefix)) {
        if (!file.startsWith(u"share/orvane/"_s))
            actual.append(file);
    }
    expected.sort();
    // No developer tool, benchmark or test, and nothing outside the prefix.
    QStringList extra = actual;
    QStringList missing = expected;
    for (const QString &file : std::as_const(expected))
        extra.removeAll(file);
    for (const QString &file : std::as_const(actual))
        missing.removeAll(file);
    QVERIFY2(extra.isEmpty() && missing.isEmpty(),
             qPrintable(u"not expected: "_s + extra.join(u", "_s) + u"; missing: "_s + missing.join(u", "_s)));
    QCOMPARE(filesBelow(m_destdir.path()).size(), filesBelow(m_prefix).size());

    QVERIFY(QFileInfo(installed(u"bin/orvane"_s)).isExecutable());
    for (const QString &file : filesBelow(m_prefix)) {
        if (file != u"bin/orvane"_s)
            QVERIFY2(!QFileInfo(installed(file)).isExecutable(), qPrintable(file));
    }
}

void TestInstallation::dataFolderMatchesTheBuildTree()
{
    const QString built = QStringLiteral(ORVANE_BUILD_DIR "/share/orvane");
    const QStringList files = filesBelow(built);
    QCOMPARE(filesBelow(installed(u"share/orvane"_s)), files);
    QVERIFY(files.contains(u"install-manifest.json"_s));
    for (const QString &file : files) {
        QCOMPARE(readAll(installed(u"share/orvane/"_s + file)), readAll(built + u'/' + file));
    }
    // Fonts travel with their licence.
    const bool anyFont = !QDir(built).entryList({u"Archivo-*.ttf"_s}).isEmpty();
    if (anyFont)
        QVERIFY(files.contains(u"Archivo-OFL.txt"_s));
    else
        qWarning("this build has no Archivo fonts; their installation is not checked");
}

void TestInstallation::icons_data()
{
    QTest::addColumn<int>("size");
    for (const int size : iconSizes)
        QTest::addRow("%dx%d", size, size) << size;
}

void TestInstallation::icons()
{
    QFETCH(int, size);
    const QString path = installed(u"share/icons/hicolor/%1x%1/apps/orvane.png"_s.arg(size));
    QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), QSize(size, size));
    image = image.convertToFormat(QImage::Format_ARGB32);

    // Rounded corners leave the corners clear but for a trace of shadow; the square's flat
    // left side, halfway down, is the mark's red; and somewhere the cream initial shows.
    QVERIFY2(qAlpha(image.pixel(0, 0)) < 16, qPrintable(QString::number(qAlpha(image.pixel(0, 0)))));
    QVERIFY(qAlpha(image.pixel(size - 1, 0)) < 16);
    const QRgb side = image.pixel(size / 5, size / 2);
    QCOMPARE(qAlpha(side), 255);
    QVERIFY2(colourDistance(side, Design::red()) < 12, qPrintable(QColor(side).name()));
    int cream = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x)
            cream += colourDistance(image.pixel(x, y), Design::cream()) < 60 ? 1 : 0;
    }
    QVERIFY2(cream >= size / 4, qPrintable(QString::number(cream)));
}

void TestInstallation::scalableIcon()
{
    QFile file(installed(u"share/icons/hicolor/scalable/apps/orvane.svg"_s));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QVERIFY(xml.readNextStartElement());
    QCOMPARE(xml.name(), u"svg"_s);
    QCOMPARE(xml.namespaceUri(), u"http://www.w3.org/2000/svg"_s);
    const QStringList viewBox = xml.attributes().value(u"viewBox"_s).toString().split(u' ');
    QCOMPARE(viewBox.size(), 4);
    QCOMPARE(viewBox.at(2), viewBox.at(3));
    QStringList fills;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.attributes().hasAttribute(u"fill"_s))
            fills.append(xml.attributes().value(u"fill"_s).toString().toLower());
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    // The hand-drawn mark keeps the palette's colours.
    QVERIFY2(fills.contains(Design::red().name()), qPrintable(fills.join(u' ')));
    QVERIFY2(fills.contains(Design::cream().name()), qPrintable(fills.join(u' ')));
}

void TestInstallation::desktopEntry()
{
    QCOMPARE(desktopKey(u"Type"_s), u"Application"_s);
    QCOMPARE(desktopKey(u"Name"_s), u"Orvane"_s);
    // The desktop matches the running window to this entry by these three names.
    QCOMPARE(desktopKey(u"StartupWMClass"_s), QFileInfo(desktopFile()).completeBaseName());
    const QString exec = desktopKey(u"Exec"_s);
    QCOMPARE(exec.section(u' ', 0, 0), u"orvane"_s);
    QVERIFY(QFileInfo(installed(u"bin/"_s + exec.section(u' ', 0, 0))).isExecutable());
    const QString icon = desktopKey(u"Icon"_s);
    QVERIFY(QFileInfo::exists(installed(u"share/icons/hicolor/scalable/apps/"_s + icon + u".svg"_s)));
    QVERIFY(QFileInfo::exists(installed(u"share/icons/hicolor/48x48/apps/"_s + icon + u".png"_s)));

    requireTool(u"desktop-file-validate"_s);
    const Run validate = run(u"desktop-file-validate"_s, {desktopFile()});
    QVERIFY2(validate.exitCode == 0 && validate.output.isEmpty(), validate.output.constData());
}

void TestInstallation::appStreamMetadata()
{
    QFile file(metainfoFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QString id;
    QString launchable;
    QString screenshot;
    QString provided;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"id"_s)
            id = xml.readElementText();
        else if (xml.name() == u"launchable"_s)
            launchable = xml.readElementText();
        else if (xml.name() == u"image"_s)
            screenshot = xml.readElementText();
        else if (xml.name() == u"binary"_s)
            provided = xml.readElementText();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(QFileInfo(metainfoFile()).fileName(), id + u".metainfo.xml"_s);
    QCOMPARE(launchable, QFileInfo(desktopFile()).fileName());
    QVERIFY(screenshot.startsWith(u"https://"_s) && screenshot.endsWith(u".png"_s));
    QVERIFY(QFileInfo(installed(u"bin/"_s + provided)).isExecutable());

    requireTool(u"appstreamcli"_s);
    const Run validate = run(u"appstreamcli"_s, {u"validate"_s, u"--no-net"_s, metainfoFile()});
    QVERIFY2(validate.exitCode == 0, validate.output.constData());
}

void TestInstallation::versionIsTheSameEverywhere()
{
    const QString version = QStringLiteral(ORVANE_VERSION);

    // The newest release of the metadata is the first one listed.
    QFile file(metainfoFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QString release;
    while (release.isEmpty() && !xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"release"_s) {
            release = xml.attributes().value(u"version"_s).toString();
            QVERIFY(QDate::fromString(xml.attributes().value(u"date"_s).toString(), Qt::ISODate)
                        .isValid());
        }
    }
    QCOMPARE(release, version);

    const QByteArray changelog = gunzip(installed(u"share/doc/orvane/changelog.gz"_s));
    QCOMPARE(changelog.left(changelog.indexOf('\n')),
             QByteArray("orvane (" + version.toUtf8() + ") unstable; urgency=medium"));
    const QByteArray manual = gunzip(installed(u"share/man/man1/orvane.1.gz"_s));
    QVERIFY2(manual.startsWith(".TH ORVANE 1 ") && manual.contains(QByteArray("\"Orvane " + version.toUtf8() + '"')),
             manual.left(80).constData());
}

void TestInstallation::installedProgramStartsUnderX11()
{
    requireTool(u"Xvfb"_s);
    requireTool(u"xdotool"_s);
    requireTool(u"xprop"_s);

    // A private X server on a display number it picks itself and writes to its output.
    m_xserver = std::make_unique<QProcess>();
    m_xserver->start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-nolisten"_s, u"tcp"_s,
                                 u"-screen"_s, u"0"_s, u"1280x800x24"_s});
    QByteArray display;
    for (QDeadlineTimer deadline(20000); !display.endsWith('\n') && !deadline.hasExpired();) {
        m_xserver->waitForReadyRead(200);
        display += m_xserver->readAllStandardOutput();
    }
    QVERIFY2(display.endsWith('\n'), "Xvfb did not report its display");
    display = ':' + display.trimmed();

    // The program from the installed tree, in a home and runtime folder of its own.
    QTemporaryDir home;
    QTemporaryDir runtime;
    QVERIFY(home.isValid() && runtime.isValid());
    QFile(runtime.path()).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"DISPLAY"_s, QString::fromLatin1(display));
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    environment.insert(u"HOME"_s, home.path());
    environment.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
    environment.insert(u"SHELL"_s, u"/bin/bash"_s);
    m_program = std::make_unique<QProcess>();
    m_program->setProcessEnvironment(environment);
    m_program->setProcessChannelMode(QProcess::ForwardedChannels);
    m_program->start(installed(u"bin/orvane"_s), {});
    QVERIFY(m_program->waitForStarted());

    // Found by the class the menu entry names, as a desktop would.
    QProcessEnvironment onDisplay = QProcessEnvironment::systemEnvironment();
    onDisplay.insert(u"DISPLAY"_s, QString::fromLatin1(display));
    const QString wmClass = desktopKey(u"StartupWMClass"_s);
    QString window;
    for (QDeadlineTimer deadline(60000); window.isEmpty() && !deadline.hasExpired();) {
        QVERIFY2(m_program->state() == QProcess::Running, "the installed program ended");
        const Run search = run(u"xdotool"_s,
                               {u"search"_s, u"--onlyvisible"_s, u"--classname"_s,
                                u'^' + wmClass + u'$'},
                               onDisplay);
        if (search.exitCode == 0)
            window = QString::fromLatin1(search.output).split(u'\n').first().trimmed();
        else
            QTest::qWait(250);
    }
    QVERIFY2(!window.isEmpty(), "no window with the entry's class appeared");

    const Run properties = run(u"xprop"_s,
                               {u"-id"_s, window, u"WM_CLASS"_s, u"WM_NAME"_s,
                                u"_NET_WM_ICON"_s},
                               onDisplay);
    QCOMPARE(properties.exitCode, 0);
    const QString text = QString::fromUtf8(properties.output);
    QVERIFY2(text.contains(u"WM_CLASS(STRING) = \""_s + wmClass + u"\", \"Orvane\""_s), qPrintable(text));
    QVERIFY2(text.contains(u"WM_NAME(UTF8_STRING) = \"Orvane\""_s) || text.contains(u"WM_NAME(STRING) = \"Orvane\""_s),
             qPrintable(text));
    // The window carries the mark as its icon, so the task switcher shows the same picture.
    QVERIFY2(text.contains(u"_NET_WM_ICON(CARDINAL) = "_s), qPrintable(text.left(400)));

    // It is the setup window, not some stray one.
    const Run geometry = run(u"xdotool"_s, {u"getwindowgeometry"_s, window}, onDisplay);
    QVERIFY2(geometry.output.contains("Geometry: 720x560"), geometry.output.constData());
}

void TestInstallation::cleanup()
{
    for (auto *process : {m_program.get(), m_xserver.get()}) {
        if (process && process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(5000))
                process->kill();
            process->waitForFinished(5000);
        }
    }
    m_program.reset();
    m_xserver.reset();
}

QTEST_GUILESS_MAIN(TestInstallation)

#include "tst_installation.moc"

// Font registration from the resources folder with none, one or all faces present.
#include "app/FontRegistration.h"
#include "design/Design.h"
#include "platform/Resources.h"

#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestFontRegistration : public QObject
{
    Q_OBJECT

    QString m_shipped = Platform::Resources::directory(); // the build's own resources folder

private Q_SLOTS:
    void initTestCase()
    {
        if (Platform::Resources::path(u"Archivo-Regular"_s, u"ttf"_s).isEmpty())
            QSKIP("The Archivo fonts were not fetched in this build (offline set-up)");
    }
    void cleanup()
    {
        QFontDatabase::removeAllApplicationFonts();
        Platform::Resources::setDirectoryOverride({});
    }

    void registersWhatIsPresent_data()
    {
        QTest::addColumn<QStringList>("present"); // "!": a damaged file of that name
        QTest::addColumn<QStringList>("expectedStyles");
        QTest::newRow("none") << QStringList{} << QStringList{};
        QTest::newRow("all") << App::FontRegistration::fontNames()
                             << QStringList{u"Regular"_s, u"SemiBold"_s, u"ExtraBold"_s, u"Black"_s};
        QTest::newRow("a damaged file is ignored")
            << QStringList{u"Archivo-Regular"_s, u"!Archivo-Black"_s} << QStringList{u"Regular"_s};
    }
    void registersWhatIsPresent()
    {
        QFETCH(QStringList, present);
        QFETCH(QStringList, expectedStyles);
        QTemporaryDir resources;
        int valid = 0;
        for (QString name : present) {
            const bool damaged = name.startsWith(u'!');
            name.remove(0, damaged ? 1 : 0);
            const QString target = resources.filePath(name + u".ttf"_s);
            QFile file(target);
            if (damaged)
                QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a font") > 0);
            else
                QVERIFY(QFile::copy(m_shipped + u'/' + name + u".ttf"_s, target) && ++valid);
        }
        Platform::Resources::setDirectoryOverride(resources.path());
        QCOMPARE(App::FontRegistration::registerFonts(), valid);
        const QStringList styles = QFontDatabase::styles(Design::archivoFamily());
        for (const QString &style : expectedStyles)
            QVERIFY2(styles.contains(style), qPrintable(styles.join(u',')));
        QCOMPARE(QFontDatabase::families().contains(Design::archivoFamily()), !expectedStyles.isEmpty());
    }
};

QTEST_MAIN(TestFontRegistration)
#include "tst_fontregistration.moc"

// Font registration from the resources folder with none, one or all faces present.
#include "app/FontRegistration.h"
#include "design/Design.h"
#include "platform/Resources.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

class TestFontRegistration : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void registersWhatIsPresent_data();
    void registersWhatIsPresent();
    void weightsResolveToTheirFaces_data();
    void weightsResolveToTheirFaces();

private:
    QString m_shipped; // the build's own resources folder
};

void TestFontRegistration::initTestCase()
{
    m_shipped = Platform::Resources::directory();
    if (Platform::Resources::path(QStringLiteral("Archivo-Regular"), QStringLiteral("ttf")).isEmpty())
        QSKIP("The Archivo fonts were not fetched in this build (offline set-up)");
}

void TestFontRegistration::cleanup()
{
    QFontDatabase::removeAllApplicationFonts();
    Platform::Resources::setDirectoryOverride({});
}

void TestFontRegistration::registersWhatIsPresent_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("expectedStyles");
    QTest::newRow("none") << QStringList{} << QStringList{};
    QTest::newRow("SemiBold only") << QStringList{QStringLiteral("Archivo-SemiBold")}
                                   << QStringList{QStringLiteral("SemiBold")};
    QTest::newRow("all") << App::FontRegistration::fontNames()
                         << QStringList{QStringLiteral("Regular"), QStringLiteral("SemiBold"),
                                        QStringLiteral("ExtraBold"), QStringLiteral("Black")};
    QTest::newRow("a damaged file is ignored")
        << QStringList{QStringLiteral("Archivo-Regular"), QStringLiteral("!Archivo-Black")}
        << QStringList{QStringLiteral("Regular")};
}

void TestFontRegistration::registersWhatIsPresent()
{
    QFETCH(QStringList, present);
    QFETCH(QStringList, expectedStyles);
    QTemporaryDir resources;
    int valid = 0;
    for (QString name : present) {
        const bool damaged = name.startsWith(QLatin1Char('!'));
        name.remove(0, damaged ? 1 : 0);
        const QString target = resources.path() + QLatin1Char('/') + name + QStringLiteral(".ttf");
        if (damaged) {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not a font");
        } else {
            QVERIFY(
                QFile::copy(m_shipped + QLatin1Char('/') + name + QStringLiteral(".ttf"), target));
            ++valid;
        }
    }
    Platform::Resources::setDirectoryOverride(resources.path());

    QCOMPARE(App::FontRegistration::registerFonts(), valid);
    const QStringList styles = QFontDatabase::styles(Design::archivoFamily());
    for (const QString &style : expectedStyles)
        QVERIFY2(styles.contains(style), qPrintable(styles.join(u',')));
    QCOMPARE(QFontDatabase::families().contains(Design::archivoFamily()),
             !expectedStyles.isEmpty());
}

void TestFontRegistration::weightsResolveToTheirFaces_data()
{
    QTest::addColumn<Design::Weight>("weight");
    QTest::addColumn<QString>("style");
    QTest::newRow("regular") << Design::Weight::Regular << QStringLiteral("Regular");
    QTest::newRow("bold") << Design::Weight::Bold << QStringLiteral("SemiBold");
    QTest::newRow("black") << Design::Weight::Black << QStringLiteral("Black");
}

void TestFontRegistration::weightsResolveToTheirFaces()
{
    QFETCH(Design::Weight, weight);
    QFETCH(QString, style);
    App::FontRegistration::registerFonts();
    const QFontInfo info(Design::archivo(20, weight, 1.5));
    QCOMPARE(info.family(), Design::archivoFamily());
    QCOMPARE(info.styleName(), style);
    QCOMPARE(info.pixelSize(), 20);
}

QTEST_MAIN(TestFontRegistration)
#include "tst_fontregistration.moc"

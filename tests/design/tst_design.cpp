// The shared look as drawn: the faces, the app mark, the backdrop's opacity rule, and the keys
// that press a screen's default button.
#include "design/AppMark.h"
#include "design/Design.h"
#include "design/FlatButton.h"
#include "design/VisualEffect.h"
#include "wizard/ui/WelcomeScreen.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TestDesign : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void archivoFaces_data();
    void archivoFaces();
    void appMarkDrawing();
    void backdrop_data();
    void backdrop();
    void welcomeScreenStarts_data();
    void welcomeScreenStarts();
    void focusRingFromTheKeyboardOnly();
};

void TestDesign::archivoFaces_data()
{
    // Regular, bold and black ask for the Regular, SemiBold and Black (or ExtraBold) faces.
    QTest::addColumn<int>("weight");
    QTest::addColumn<int>("fontWeight");
    QTest::newRow("regular") << int(Design::Weight::Regular) << int(QFont::Normal);
    QTest::newRow("bold") << int(Design::Weight::Bold) << int(QFont::DemiBold);
    QTest::newRow("black") << int(Design::Weight::Black) << int(QFont::Black);
}

void TestDesign::archivoFaces()
{
    QFETCH(int, weight);
    QFETCH(int, fontWeight);
    // Sizes are points, and a point is one device-independent pixel.
    const QFont font = Design::archivo(16.4, Design::Weight(weight), 0.5);
    QCOMPARE(font.family(), u"Archivo"_s);
    QCOMPARE(font.pixelSize(), 16);
    QCOMPARE(int(font.weight()), fontWeight);
    QCOMPARE(font.letterSpacing(), 0.5);
    QCOMPARE(Design::archivo(16, Design::Weight(weight)).letterSpacing(), 0.0);
    QCOMPARE(int(Design::system(12, QFont::Weight(fontWeight)).weight()), fontWeight);
}

void TestDesign::appMarkDrawing()
{
    // At 100 points: red body, cream initial in the middle, transparent beyond the rounded
    // corner, a faint shadow (at most 18 % black) just below the bottom edge.
    QImage image(120, 130, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    Design::AppMark::paint(painter, QRectF(10, 10, 100, 100));
    painter.end();
    QCOMPARE(QColor(image.pixel(30, 95)).name(), Design::red().name());
    QCOMPARE(qAlpha(image.pixel(11, 11)), 0);
    int cream = 0;
    for (int y = 40; y < 80; ++y)
        for (int x = 40; x < 80; ++x)
            cream += QColor(image.pixel(x, y)).name() == Design::cream().name() ? 1 : 0;
    QVERIFY2(cream > 100, qPrintable(QString::number(cream)));
    const int shadow = qAlpha(image.pixel(60, 112));
    QVERIFY2(shadow > 0 && shadow <= 0.18 * 255 + 1, qPrintable(QString::number(shadow)));
    QCOMPARE(qAlpha(image.pixel(60, 128)), 0);
}

void TestDesign::backdrop_data()
{
    QTest::addColumn<bool>("translucent");
    QTest::newRow("composited") << true;
    QTest::newRow("opaque") << false;
}

void TestDesign::backdrop()
{
    QFETCH(bool, translucent);
    Design::VisualEffect backdrop(translucent);
    backdrop.resize(40, 40);
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    backdrop.render(&image);
    const QColor pixel = QColor::fromRgba(image.pixel(20, 20));
    QCOMPARE(pixel.alpha() == 255, !translucent);
    QVERIFY(pixel.alpha() > 200 && qAbs(pixel.red() - pixel.blue()) < 3); // neutral, nearly opaque
}

void TestDesign::welcomeScreenStarts_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
    QTest::newRow("Space on the focused button") << int(Qt::Key_Space);
}

void TestDesign::welcomeScreenStarts()
{
    QFETCH(int, key);
    Wizard::WelcomeScreen screen;
    QSignalSpy started(&screen, &Wizard::WelcomeScreen::getStartedClicked);
    screen.resize(720, 560);
    screen.show();
    QVERIFY(QTest::qWaitForWindowActive(&screen));
    auto *button = screen.findChild<Design::FlatButton *>(QStringLiteral("getStarted"));
    if (key == Qt::Key_Space) {
        button->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button, Qt::Key_Space);
    } else {
        QTest::keyClick(&screen, Qt::Key(key));
    }
    QCOMPARE(started.count(), 1);
}

void TestDesign::focusRingFromTheKeyboardOnly()
{
    Wizard::WelcomeScreen screen;
    screen.show();
    QVERIFY(QTest::qWaitForWindowActive(&screen));
    auto *button = screen.findChild<Design::FlatButton *>(QStringLiteral("getStarted"));
    button->setFocus(Qt::MouseFocusReason);
    const QImage plain = button->grab().toImage();
    button->clearFocus();
    button->setFocus(Qt::TabFocusReason);
    const QImage ring = button->grab().toImage();
    // The first column the ring changes: its left edge, just inside the button's.
    int first = 0;
    while (first < ring.width() && ring.copy(first, 0, 1, ring.height()) ==
                                      plain.copy(first, 0, 1, plain.height()))
        ++first;
    QCOMPARE(first, 2);
    // A button held down by Space is let go, unclicked, when the focus leaves it.
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    QTest::keyPress(button, Qt::Key_Space);
    QVERIFY(button->isDown());
    button->clearFocus();
    QVERIFY(!button->isDown());
    QCOMPARE(button->grab().toImage(), plain);
    QCOMPARE(clicked.count(), 0);
}

QTEST_MAIN(TestDesign)
#include "tst_design.moc"

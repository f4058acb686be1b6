#include "overlay/ui/OverlayPillView.h"
#include "overlay/OverlayState.h"
#include "overlay/OverlayTexts.h"
#include "support/ManualClock.h"

#include <QPaintEvent>
#include <QTest>

using namespace Overlay;
using namespace Qt::StringLiterals;

namespace {

QImage render(QWidget &widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image);
    return image;
}

// A view at its preferred size, shown on the offscreen platform.
struct Pill
{
    ManualClock clock;
    OverlayState state{clock};
    OverlayPillView view;

    explicit Pill(bool translucent = true)
        : view(state, translucent)
    {}
    void settle()
    {
        view.resize(view.sizeHint());
        view.show();
    }
};

int distance(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
           std::abs(a.blue() - b.blue());
}

const QColor barRed = QColor::fromRgbF(0.93f, 0.45f, 0.40f);
const QColor barOrange = QColor::fromRgbF(0.85f, 0.43f, 0.31f);

} // namespace

class OverlayPillViewTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Counters that add up to nothing show the placeholder, whatever the context figures: the
    // picture is the one without any usage. One token anywhere shows the rows.
    void placeholder_data()
    {
        QTest::addColumn<qint64>("output");
        QTest::addColumn<qint64>("contextUsed");
        QTest::addColumn<bool>("placeholder");
        QTest::newRow("zeros, context used") << qint64(0) << qint64(18000) << true;
        QTest::newRow("zeros, nothing used") << qint64(0) << qint64(0) << true;
        QTest::newRow("one output token") << qint64(1) << qint64(18000) << false;
    }
    void placeholder()
    {
        QFETCH(qint64, output);
        QFETCH(qint64, contextUsed);
        Pill empty;
        empty.state.update([](OverlaySnapshot &f) { f.expanded = true; });
        empty.settle();
        Pill pill;
        pill.state.update([&](OverlaySnapshot &f) {
            f.expanded = true;
            f.usage = Usage::TokenUsage{.cacheRead = 0,
                                        .cacheWrite = 0,
                                        .freshInput = 0,
                                        .output = output,
                                        .contextWindow = 200000,
                                        .contextUsed = contextUsed};
        });
        pill.settle();
        QTEST(render(pill.view) == render(empty.view), "placeholder");
        // The shown counters win over the true ones while counting up.
        pill.state.update([](OverlaySnapshot &f) { f.displayedUsage = Usage::TokenUsage{}; });
        QCOMPARE(render(pill.view), render(empty.view));
    }

    // The context bar: there only with a context window, red once more than 0.85 of it is used.
    // (The fill's width and the track's look are the pictures' to judge.)
    void contextBar_data()
    {
        QTest::addColumn<qint64>("window"); // -1: absent
        QTest::addColumn<qint64>("used");
        QTest::addColumn<QColor>("colour"); // invalid: no bar
        QTest::newRow("0.85 is not red") << qint64(200000) << qint64(170000) << barOrange;
        QTest::newRow("0.86 is red") << qint64(200000) << qint64(172000) << barRed;
        QTest::newRow("above the window") << qint64(1000) << qint64(5000) << barRed;
        QTest::newRow("no window") << qint64(-1) << qint64(5000) << QColor();
        QTest::newRow("window 0") << qint64(0) << qint64(5000) << QColor();
    }
    void contextBar()
    {
        QFETCH(qint64, window);
        QFETCH(qint64, used);
        QFETCH(QColor, colour);
        Pill pill(false);
        pill.state.update([&](OverlaySnapshot &f) {
            f.expanded = true;
            f.usage = Usage::TokenUsage{.cacheRead = 10, .output = 40,
                                        .contextWindow = window < 0 ? std::nullopt : std::optional(window),
                                        .contextUsed = used};
        });
        pill.settle();
        const std::optional<QRectF> track = pill.view.contextBarRect();
        QCOMPARE(track.has_value(), colour.isValid());
        if (!track)
            return;
        const QColor middle = render(pill.view).pixelColor(track->toRect().topLeft() + QPoint(10, 1));
        const QColor other = colour == barRed ? barOrange : barRed;
        QVERIFY2(distance(middle, colour) < 12 && distance(middle, other) > 20, qPrintable(middle.name()));
    }

    // A change repaints only what it changed: the dot when connected (grey until then, green
    // after), the status line when the countdown's text moves on, nothing when nothing shown
    // did (the explicit notification of an unchanged state).
    void redrawsOnChange()
    {
        struct PaintCounter : QObject
        {
            QRegion painted;
            bool eventFilter(QObject *, QEvent *event) override
            {
                if (event->type() == QEvent::Paint)
                    painted += static_cast<QPaintEvent *>(event)->region();
                return false;
            }
        } counter;
        Pill pill(false);
        pill.view.installEventFilter(&counter);
        pill.state.update([&](OverlaySnapshot &f) {
            f.cacheExpiresAt = secondsSinceEpoch(pill.clock.now()) + 90.4;
        });
        pill.settle();
        QTRY_VERIFY(!counter.painted.isEmpty());
        const QRect box = pill.view.pillRect();
        const QPoint dot(box.right() - 13 - 3, box.top() + 29);
        const QColor grey = render(pill.view).pixelColor(dot);
        QVERIFY2(grey.red() == grey.green() && grey.red() > 100, qPrintable(grey.name()));

        const auto paintedAfter = [&](auto change) {
            counter.painted = {};
            change();
            QTest::qWait(50);
            return counter.painted;
        };
        const QRegion dotPainted = paintedAfter(
            [&] { pill.state.update([](OverlaySnapshot &f) { f.connected = true; }); });
        QVERIFY(dotPainted.contains(dot));
        QVERIFY2(dotPainted.boundingRect().width() < 20, qPrintable(QString::number(dotPainted.boundingRect().width())));
        const QColor green = render(pill.view).pixelColor(dot);
        QVERIFY2(green.green() > green.red() + 80, qPrintable(green.name()));

        QCOMPARE(paintedAfter([&] { pill.state.notifyChanged(); }), QRegion());
        const QRegion statusPainted = paintedAfter([&] {
            pill.clock.advance(std::chrono::seconds(1));
            pill.state.notifyChanged();
        });
        QVERIFY(!statusPainted.isEmpty() && !statusPainted.contains(dot));
        QVERIFY(statusPainted.boundingRect().top() > box.top() + 29); // the header's second line
    }

    // A screen reader reads the painted header: the title, and the status line as it changes.
    void accessibleText()
    {
        Pill pill(false);
        QCOMPARE(pill.view.accessibleName(), u"Orvane"_s);
        QCOMPARE(pill.view.accessibleDescription(), pill.state.statusLine());
        pill.state.update([](OverlaySnapshot &f) { f.detail = u"Gateway unavailable"_s; });
        QCOMPARE(pill.view.accessibleDescription(), u"Claude \u00B7 Gateway unavailable"_s);
        pill.state.update([](OverlaySnapshot &f) { f.savingsPct = 38; });
        QCOMPARE(pill.view.accessibleDescription(),
                 u"Claude \u00B7 Gateway unavailable \u00B7 38% saved"_s);
    }
};

QTEST_MAIN(OverlayPillViewTest)
#include "tst_overlaypillview.moc"

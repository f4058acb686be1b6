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
    // picture is the one without any usage. One token shows the rows, unless the counters shown
    // while counting up are still nothing.
    void placeholder()
    {
        Pill empty, zeros, one;
        const auto expand = [](Pill &pill, std::optional<Usage::TokenUsage> usage) {
            pill.state.update([&](OverlaySnapshot &f) {
                f.expanded = true;
                f.usage = usage;
            });
            pill.settle();
            return render(pill.view);
        };
        const QImage placeholder = expand(empty, std::nullopt);
        Usage::TokenUsage used{.contextWindow = 200000, .contextUsed = 18000};
        QCOMPARE(expand(zeros, used), placeholder);
        used.output = 1;
        QVERIFY(expand(one, used) != placeholder);
        one.state.update([](OverlaySnapshot &f) { f.displayedUsage = Usage::TokenUsage{}; });
        QCOMPARE(render(one.view), placeholder);
    }

    // The context bar: there only with a context window, red once more than 0.85 of it is used.
    // (The fill's width and the track's look are the pictures' to judge.)
    void contextBar()
    {
        // The colour in the bar's fill, none without a bar.
        const auto bar = [](std::optional<std::int64_t> window) -> std::optional<QColor> {
            Pill pill(false);
            pill.state.update([&](OverlaySnapshot &f) {
                f.expanded = true;
                f.usage = Usage::TokenUsage{
                    .output = 40, .contextWindow = window, .contextUsed = 170000};
            });
            pill.settle();
            const std::optional<QRectF> track = pill.view.contextBarRect();
            if (!track)
                return std::nullopt;
            return render(pill.view).pixelColor(track->toRect().topLeft() + QPoint(10, 1));
        };
        QVERIFY(!bar(std::nullopt));
        QVERIFY(distance(bar(200000).value(), barOrange) < 12); // 0.85
        QVERIFY(distance(bar(197600).value(), barRed) < 12);    // 0.86
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
        QVERIFY(grey.red() == grey.green() && grey.red() > 100);

        const auto paintedAfter = [&](auto change) {
            counter.painted = {};
            change();
            QTest::qWait(50);
            return counter.painted;
        };
        const QRegion dotPainted = paintedAfter(
            [&] { pill.state.update([](OverlaySnapshot &f) { f.connected = true; }); });
        QVERIFY(dotPainted.contains(dot));
        QVERIFY(dotPainted.boundingRect().width() < 20);
        const QColor green = render(pill.view).pixelColor(dot);
        QVERIFY(green.green() > green.red() + 80);

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
        pill.state.update([](OverlaySnapshot &f) { f.detail = u"Gateway unavailable"_s; });
        QCOMPARE(pill.view.accessibleDescription(), u"Claude \u00B7 Gateway unavailable"_s);
    }
};

QTEST_MAIN(OverlayPillViewTest)
#include "tst_overlaypillview.moc"

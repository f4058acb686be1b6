#include "overlay/ui/OverlayPillView.h"
#include "overlay/OverlayState.h"
#include "overlay/OverlayTexts.h"
#include "support/ManualClock.h"

#include <QPaintEvent>
#include <QTest>

using namespace Overlay;
using namespace Qt::StringLiterals;

namespace {

QImage render(QWidget &widget, qreal scale)
{
    QImage image(widget.size() * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
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
    // The pill's box is 318 by 58 collapsed and 188 expanded; with translucency a margin for the
    // shadow surrounds it, without it the box is the whole view.
    void geometry_data()
    {
        QTest::addColumn<bool>("translucent");
        QTest::newRow("translucent") << true;
        QTest::newRow("opaque") << false;
    }
    void geometry()
    {
        QFETCH(bool, translucent);
        Pill pill(translucent);
        pill.settle();
        const QMargins margins = pill.view.shadowMargins();
        QCOMPARE(margins.isNull(), !translucent);
        if (translucent)
            QVERIFY(margins.bottom() > margins.top()); // the shadow falls downwards
        QCOMPARE(pill.view.pillRect(),
                 QRect(QPoint(margins.left(), margins.top()), QSize(318, 58)));

        pill.state.update([](OverlaySnapshot &f) { f.expanded = true; });
        QCOMPARE(pill.view.sizeHint(), QSize(318, 188).grownBy(margins));
        pill.settle();
        QCOMPARE(pill.view.pillRect().size(), QSize(318, 188));
    }

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
        QTEST(render(pill.view, 1) == render(empty.view, 1), "placeholder");
        // The shown counters win over the true ones while counting up.
        pill.state.update([](OverlaySnapshot &f) { f.displayedUsage = Usage::TokenUsage{}; });
        QCOMPARE(render(pill.view, 1), render(empty.view, 1));
    }

    // The context bar, at device pixel ratios 1 and 2: present only with a context window, a fill
    // of the track's width times the fraction but at least 2 wide, red above 0.85 only.
    void contextBar_data()
    {
        QTest::addColumn<qreal>("scale");
        QTest::addColumn<qint64>("window"); // -1: absent
        QTest::addColumn<qint64>("used");
        QTest::addColumn<qreal>("fill"); // expected fill width as a share of the track; -1: no bar
        QTest::addColumn<bool>("red");
        for (const qreal scale : {1.0, 2.0}) {
            const QByteArray at = " @" + QByteArray::number(scale) + "x";
            QTest::newRow(QByteArray("tiny fraction" + at).constData())
                << scale << qint64(1000000) << qint64(1000) << 0.001 << false;
            QTest::newRow(QByteArray("0.85 is not red" + at).constData())
                << scale << qint64(200000) << qint64(170000) << 0.85 << false;
            QTest::newRow(QByteArray("0.86 is red" + at).constData())
                << scale << qint64(200000) << qint64(172000) << 0.86 << true;
            QTest::newRow(QByteArray("above the window" + at).constData())
                << scale << qint64(1000) << qint64(5000) << 1.0 << true;
            QTest::newRow(QByteArray("no window" + at).constData())
                << scale << qint64(-1) << qint64(5000) << -1.0 << false;
            QTest::newRow(QByteArray("window 0" + at).constData())
                << scale << qint64(0) << qint64(5000) << -1.0 << false;
        }
    }
    void contextBar()
    {
        QFETCH(qreal, scale);
        QFETCH(qint64, window);
        QFETCH(qint64, used);
        QFETCH(qreal, fill);
        QFETCH(bool, red);
        // Opaque, so that the track's colour over the pill is known exactly.
        Pill pill(false);
        pill.state.update([&](OverlaySnapshot &f) {
            f.expanded = true;
            f.usage = Usage::TokenUsage{
                .cacheRead = 10,
                .cacheWrite = 20,
                .freshInput = 30,
                .output = 40,
                .contextWindow = window < 0 ? std::nullopt : std::optional(window),
                .contextUsed = used};
        });
        pill.settle();
        const std::optional<QRectF> track = pill.view.contextBarRect();
        QCOMPARE(track.has_value(), fill >= 0);
        if (!track)
            return;
        QCOMPARE(track->height(), 3.0);
        QCOMPARE(track->width(), 318.0 - 2 * 13);
        QVERIFY(pill.view.pillRect().contains(track->toRect()));

        const QImage image = render(pill.view, scale);
        QCOMPARE(image.size(), pill.view.size() * scale);
        const QColor background =
            image.pixelColor(int(track->left() * scale), int((track->top() - 6) * scale));
        // Along the bar's middle row, each device pixel's share of fill over the track, from its
        // red component: the sum is the fill's width in device pixels.
        const int row = int((track->top() + 1.5) * scale);
        const QColor colour = red ? barRed : barOrange;
        const double trackRed = background.red() + 0.13 * (255 - background.red());
        double filled = 0;
        for (int x = int(track->left() * scale); x < int(std::ceil(track->right() * scale)); ++x)
            filled += std::clamp(
                (image.pixelColor(x, row).red() - trackRed) / (colour.red() - trackRed), 0.0, 1.0);
        const qreal expected = std::max(2.0, track->width() * fill) * scale;
        // The capsule's rounded ends take up to a pixel and a half off a long fill.
        const double tolerance = expected > 20 ? 1.5 : 1.0;
        QVERIFY2(std::abs(filled - expected) <= tolerance,
                 qPrintable(QStringLiteral("%1 filled, %2 expected").arg(filled).arg(expected)));
        if (expected > 20) {
            const QColor other = red ? barOrange : barRed;
            const QColor middle = image.pixelColor(int((track->left() + 10) * scale), row);
            QVERIFY2(distance(middle, colour) < 12 && distance(middle, other) > 20,
                     qPrintable(middle.name()));
        }
    }

    // With translucency the rounded corners are clear and a shadow lies below the pill;
    // without it every pixel is opaque and nothing is drawn outside the box.
    void surfaces_data()
    {
        QTest::addColumn<bool>("translucent");
        QTest::addColumn<qreal>("scale");
        QTest::newRow("translucent @1x") << true << 1.0;
        QTest::newRow("translucent @2x") << true << 2.0;
        QTest::newRow("opaque @1x") << false << 1.0;
        QTest::newRow("opaque @2x") << false << 2.0;
    }
    void surfaces()
    {
        QFETCH(bool, translucent);
        QFETCH(qreal, scale);
        Pill pill(translucent);
        pill.settle();
        const QImage image = render(pill.view, scale);
        const QRect box = pill.view.pillRect();
        const auto alphaAt = [&](QPointF point) {
            return qAlpha(image.pixel((point * scale).toPoint()));
        };
        // Inside: the background's 88 % black at least.
        QVERIFY(alphaAt(QPointF(box.left() + 5, box.center().y())) >= int(0.88 * 255));
        if (!translucent) {
            QVERIFY(!image.hasAlphaChannel() || image.pixelColor(0, 0).alpha() == 255);
            QCOMPARE(alphaAt(QPointF(box.topLeft())), 255);
            return;
        }
        // The corner outside the rounded shape: at most a trace of the shadow.
        QVERIFY(alphaAt(QPointF(box.left() + 0.5, box.top() + 0.5)) < 20);
        // Below the pill: shadow, fading out before the margin's edge.
        const int under = alphaAt(QPointF(box.center().x(), box.bottom() + 4));
        QVERIFY2(under > 10 && under < int(0.35 * 255), qPrintable(QString::number(under)));
        QVERIFY(alphaAt(QPointF(box.center().x(), pill.view.height() - 1)) < 3);
        QCOMPARE(alphaAt(QPointF(0, 0)), 0);
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
        const QColor grey = render(pill.view, 1).pixelColor(dot);
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
        const QColor green = render(pill.view, 1).pixelColor(dot);
        QVERIFY2(green.green() > green.red() + 80, qPrintable(green.name()));

        QCOMPARE(paintedAfter([&] { pill.state.notifyChanged(); }), QRegion());
        const QRegion statusPainted = paintedAfter([&] {
            pill.clock.advance(std::chrono::seconds(1));
            pill.state.notifyChanged();
        });
        QVERIFY(!statusPainted.isEmpty() && !statusPainted.contains(dot));
        QVERIFY(statusPainted.boundingRect().top() > box.top() + 29); // the header's second line
    }

    // The status line drawn from its image, colour emoji included, looks as drawn directly.
    void statusLineImage()
    {
        Pill pill;
        pill.state.update([&](OverlaySnapshot &f) {
            f.cacheExpiresAt = secondsSinceEpoch(pill.clock.now()) + 272.5;
            f.savingsPct = 38;
            f.asksOpen = 2;
            f.answersFresh = 1;
        });
        pill.settle();
        const QImage fromImage = render(pill.view, 1);
        pill.view.setRepaintingEverything(true);
        const QImage direct = render(pill.view, 1);
        int differing = 0;
        for (int y = 0; y < direct.height(); ++y)
            for (int x = 0; x < direct.width(); ++x)
                differing += distance(fromImage.pixelColor(x, y), direct.pixelColor(x, y)) > 6;
        QVERIFY2(differing < 10, qPrintable(QString::number(differing)));
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

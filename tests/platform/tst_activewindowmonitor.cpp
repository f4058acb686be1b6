// The active-window monitor on its own X server: identities read from real windows, the
// property written with either type, the grace period for a passing "no window", windows that
// vanish before they are read; the /proc lookup of a process's program; and the compositing
// manager deciding whether windows may be translucent.
#include "support/XvfbServer.h"
#include "support/X11Client.h"
#include "platform/ProcessExecutable.h"
#include "platform/ui/WindowSystem.h"
#include "platform/x11/X11ActiveWindowMonitor.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

class TestActiveWindowMonitor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_x.emplace();
        QVERIFY(m_x->ok());
        m_x->setActiveWindow(XCB_WINDOW_NONE);
    }

    void reportsIdentity_data()
    {
        QTest::addColumn<QByteArray>("instance");
        QTest::addColumn<QByteArray>("className");
        QTest::addColumn<uint>("pid");
        QTest::addColumn<bool>("asCardinal");
        QTest::addColumn<bool>("beforeStart"); // active already when the monitor starts
        QTest::newRow("claude") << QByteArray("claude") << QByteArray("Claude") << 4242u << false << false;
        QTest::newRow("written as CARDINAL, before the start")
            << QByteArray("com.anthropic.claude") << QByteArray("Claude") << 17u << true << true;
        QTest::newRow("no pid") << QByteArray("xterm") << QByteArray("XTerm") << 0u << false << false;
        QTest::newRow("no WM_CLASS") << QByteArray() << QByteArray() << 99u << false << false;
    }

    void reportsIdentity()
    {
        QFETCH(QByteArray, instance);
        QFETCH(QByteArray, className);
        QFETCH(uint, pid);
        QFETCH(bool, asCardinal);
        QFETCH(bool, beforeStart);

        Platform::X11ActiveWindowMonitor monitor;
        const QRect frame(210, 120, 500, 300);
        xcb_window_t window = XCB_WINDOW_NONE;
        const auto activate = [&] {
            window = m_x->createWindow(instance, className, pid, frame);
            m_x->setActiveWindow(window, asCardinal);
        };
        if (beforeStart)
            activate();
        monitor.start();
        QSignalSpy changed(&monitor, &Platform::ActiveWindowMonitor::activeWindowChanged);
        if (!beforeStart) {
            QVERIFY(!monitor.activeWindow());
            activate();
            QTRY_COMPARE(changed.count(), 1);
        }
        const auto active = monitor.activeWindow();
        QVERIFY(active);
        QCOMPARE(active->id, window);
        QCOMPARE(active->instanceName, QString::fromLatin1(instance));
        QCOMPARE(active->className, QString::fromLatin1(className));
        QCOMPARE(active->pid, pid ? std::optional<std::int64_t>(pid) : std::nullopt);
        QCOMPARE(active->frame, frame);

        // Writing the same window again is no change.
        m_x->setActiveWindow(window, !asCardinal);
        QTest::qWait(50);
        QCOMPARE(changed.count(), beforeStart ? 0 : 1);
        m_x->destroyWindow(window);
    }

    void passingNone_data()
    {
        QTest::addColumn<int>("then"); // where the focus goes after "no window": 0 stays there
        QTest::newRow("none, then the same window") << 1;
        QTest::newRow("none, then another window") << 2;
        QTest::newRow("none that stays") << 0;
    }

    void passingNone()
    {
        QFETCH(int, then);
        const xcb_window_t windows[] = {XCB_WINDOW_NONE, m_x->createWindow("claude", "Claude", 1),
                                        m_x->createWindow("gedit", "Gedit", 2)};
        m_x->setActiveWindow(windows[1]);
        Platform::X11ActiveWindowMonitor monitor;
        monitor.start();
        QElapsedTimer clock;
        QList<qint64> changedAfter;
        connect(&monitor, &Platform::ActiveWindowMonitor::activeWindowChanged, this,
                [&] { changedAfter.append(clock.elapsed()); });

        clock.start();
        m_x->setActiveWindow(XCB_WINDOW_NONE);
        if (then)
            m_x->setActiveWindow(windows[then]);
        // One change at most, straight to where the focus went; "no window" only once it stayed.
        const auto grace = Platform::X11ActiveWindowMonitor::noneGrace.count();
        QTest::qWait(int(grace) * 3);
        QCOMPARE(changedAfter.size(), then == 1 ? 0 : 1);
        QCOMPARE(monitor.activeWindow().value_or(Platform::ActiveWindow()).id, windows[then]);
        if (then == 0)
            QVERIFY(changedAfter.constFirst() >= grace - 5);
        m_x->destroyWindow(windows[1]);
        m_x->destroyWindow(windows[2]);
    }

    void vanishedWindow()
    {
        Platform::X11ActiveWindowMonitor monitor;
        monitor.start();
        QSignalSpy changed(&monitor, &Platform::ActiveWindowMonitor::activeWindowChanged);
        const xcb_window_t window = m_x->createWindow("claude", "Claude", 7);
        m_x->destroyWindow(window);
        m_x->setActiveWindow(window);
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(monitor.activeWindow()->id, window);
        QVERIFY(monitor.activeWindow()->className.isEmpty());
        QVERIFY(!monitor.activeWindow()->pid);

        // The monitor goes on working afterwards.
        const xcb_window_t next = m_x->createWindow("codex", "Codex", 8);
        m_x->setActiveWindow(next);
        QTRY_COMPARE(changed.count(), 2);
        QCOMPARE(monitor.activeWindow()->className, QStringLiteral("Codex"));
        m_x->destroyWindow(next);
    }

    void executableName()
    {
        QTemporaryDir dir;
        const QString program = dir.filePath(QStringLiteral("claude-desktop"));
        QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), program));
        QProcess process;
        process.start(program, {QStringLiteral("30")});
        QVERIFY(process.waitForStarted());
        QCOMPARE(Platform::processExecutableName(process.processId()), QStringLiteral("claude-desktop"));
        // A program replaced while it runs (an update) keeps its name.
        QVERIFY(QFile::remove(program));
        QCOMPARE(Platform::processExecutableName(process.processId()), QStringLiteral("claude-desktop"));
        process.kill();
        process.waitForFinished();
        QCOMPARE(Platform::processExecutableName(process.processId()), QString());
        QCOMPARE(Platform::processExecutableName(0), QString());
    }

    // A compositing manager (the owner of _NET_WM_CM_S0) lets windows be translucent; without
    // one they are opaque.
    void compositorDecidesTranslucency()
    {
        QVERIFY(!Platform::WindowSystem::supportsTranslucency());
        m_x->ownSelection(m_x->createWindow({}, {}, 0), "_NET_WM_CM_S0");
        m_x->sync();
        QVERIFY(Platform::WindowSystem::supportsTranslucency());
        m_x.reset(); // the selection goes with its owner's connection
        QTRY_VERIFY(!Platform::WindowSystem::supportsTranslucency());
    }

private:
    std::optional<X11Client> m_x;
};

int main(int argc, char **argv)
{
    XvfbServer server;
    if (const QString failure = server.start(); !failure.isEmpty()) {
        std::printf("SKIP   : %s\n", qPrintable(failure));
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    TestActiveWindowMonitor test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_activewindowmonitor.moc"

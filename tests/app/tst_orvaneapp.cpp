// The application object as the user meets it: one fixed-size window that survives being
// closed, comes back instead of multiplying, and quits from the keyboard.
#include "app/OrvaneApp.h"
#include "app/SetupWindow.h"
#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

class TestOrvaneApp : public QObject
{
    Q_OBJECT

public:
    explicit TestOrvaneApp(OrvaneApp *app)
        : m_app(app)
    {}

private Q_SLOTS:
    void windowIsFixedAt720By560();
    void closingTheWindowKeepsTheProcess();
    void showRequestsReuseTheOneWindow();
    void ctrlQQuits();

private:
    // What a second start of the program does, on a thread of its own because it blocks while
    // this thread has to serve it.
    static bool handOverFromSecondStart()
    {
        std::atomic<bool> finished = false;
        bool answered = false;
        std::thread client([&] {
            answered = SingleInstance(SingleInstance::defaultSocketPath()).handOverToRunning(5000);
            finished = true;
        });
        QDeadlineTimer deadline(10000);
        while (!finished && !deadline.hasExpired())
            QTest::qWait(10);
        client.join();
        return answered;
    }

    static int setupWindowCount()
    {
        int count = 0;
        for (QWidget *widget : QApplication::topLevelWidgets())
            count += qobject_cast<SetupWindow *>(widget) ? 1 : 0;
        return count;
    }

    OrvaneApp *m_app;
};

void TestOrvaneApp::windowIsFixedAt720By560()
{
    SetupWindow *window = m_app->setupWindow();
    QVERIFY(window);
    QTRY_VERIFY(window->isVisible());
    QCOMPARE(window->windowTitle(), QStringLiteral("Orvane"));
    QCOMPARE(window->size(), QSize(720, 560));
    QCOMPARE(window->minimumSize(), QSize(720, 560));
    QCOMPARE(window->maximumSize(), QSize(720, 560));
    window->resize(900, 700);
    QCOMPARE(window->size(), QSize(720, 560));
}

void TestOrvaneApp::closingTheWindowKeepsTheProcess()
{
    SetupWindow *window = m_app->setupWindow();
    QTRY_VERIFY(window->isVisible());
    QSignalSpy lastClosed(m_app, &QGuiApplication::lastWindowClosed);
    QSignalSpy quitting(m_app, &QCoreApplication::aboutToQuit);
    QVERIFY(window->close());
    QVERIFY(!window->isVisible());
    // Give a pending quit every chance to happen.
    QTest::qWait(200);
    QCOMPARE(quitting.count(), 0);
    QVERIFY(!QCoreApplication::closingDown());
    QCOMPARE(setupWindowCount(), 1);
}

void TestOrvaneApp::showRequestsReuseTheOneWindow()
{
    SetupWindow *window = m_app->setupWindow();
    window->close();
    QVERIFY(!window->isVisible());
    // A second start of the program asks through the per-user socket.
    QVERIFY(handOverFromSecondStart());
    QTRY_VERIFY(window->isVisible());
    QVERIFY(handOverFromSecondStart());
    QCOMPARE(m_app->setupWindow(), window);
    QCOMPARE(setupWindowCount(), 1);
}

void TestOrvaneApp::ctrlQQuits()
{
    SetupWindow *window = m_app->setupWindow();
    window->bringToFront();
    QTRY_VERIFY(window->isActiveWindow());
    QSignalSpy quit(window, &SetupWindow::quitRequested);
    QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(quit.count(), 1);
}

int main(int argc, char **argv)
{
    // Each run gets its own per-user socket folder, so a developer's running copy is not
    // disturbed.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    OrvaneApp app(argc, argv);
    if (!app.start())
        return 1;
    TestOrvaneApp test(&app);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_orvaneapp.moc"

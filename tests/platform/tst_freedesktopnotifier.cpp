// The desktop notification as it goes over D-Bus: to a stand-in notification service on a
// private bus of its own, and to a bus where no such service runs.
#include "platform/dbus/FreedesktopNotifier.h"

#include "support/PrivateNotificationsBus.h"

#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

class TestFreedesktopNotifier : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (const QString failure = m_bus.start(); !failure.isEmpty())
            QSKIP(qPrintable(failure));
    }

    void notify_data()
    {
        QTest::addColumn<bool>("serviceRuns");
        QTest::newRow("the desktop's service runs") << true;
        QTest::newRow("no service") << false;
    }

    void notify()
    {
        QFETCH(bool, serviceRuns);
        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        StandInNotifications service;
        if (serviceRuns) {
            QVERIFY(m_bus.serve(service, u"service "_s + tag));
        } else {
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(u"The desktop showed no notification: .+"_s));
        }

        Platform::FreedesktopNotifier notifier(m_bus.connect(u"client "_s + tag));
        notifier.notify(u"Orvane is still running"_s, u"It keeps running."_s);
        if (serviceRuns) {
            QTRY_COMPARE(service.received,
                         QStringList{u"Orvane 0 orvane Orvane is still running|It keeps running. 0 orvane -1"_s});
        } else {
            // The refusal arrives and is logged (the ignored warning fails the test if it is not).
            QTest::qWait(300);
        }
    }
    void cleanup() { m_bus.closeConnections(); }

private:
    PrivateNotificationsBus m_bus;
};

QTEST_GUILESS_MAIN(TestFreedesktopNotifier)
#include "tst_freedesktopnotifier.moc"

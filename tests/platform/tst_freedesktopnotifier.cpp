// The desktop notification as it goes over D-Bus: to a stand-in notification service on a
// private bus of its own, and to a bus where no such service runs.
#include "platform/dbus/FreedesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// What a desktop's notification service receives.
class StandInNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList received;

public Q_SLOTS:
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints,
                int timeout)
    {
        received << u"%1 %2 %3 %4|%5 %6 %7 %8"_s.arg(app).arg(replaces).arg(icon, summary, body)
                        .arg(actions.size())
                        .arg(hints.value(u"desktop-entry"_s).toString())
                        .arg(timeout);
        return 7;
    }
};

} // namespace

class TestFreedesktopNotifier : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void notify_data();
    void notify();

private:
    QTemporaryDir m_dir;
    QProcess m_bus;
    QString m_address;
};

void TestFreedesktopNotifier::initTestCase()
{
    if (QStandardPaths::findExecutable(u"dbus-daemon"_s).isEmpty())
        QSKIP("dbus-daemon is not installed");
    // A bus that starts no services of its own: only the stand-in answers, or nobody.
    QFile config(m_dir.filePath(u"bus.conf"_s));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral(
                     "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                     "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\""
                     " eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                     "</policy></busconfig>")
                     .arg(m_dir.path())
                     .toUtf8());
    config.close();
    m_bus.start(u"dbus-daemon"_s,
                {u"--config-file="_s + config.fileName(), u"--nofork"_s, u"--print-address=1"_s});
    QVERIFY(m_bus.waitForReadyRead(10'000));
    m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
    QVERIFY(!m_address.isEmpty());
}

void TestFreedesktopNotifier::cleanupTestCase()
{
    m_bus.kill();
    m_bus.waitForFinished();
}

void TestFreedesktopNotifier::notify_data()
{
    QTest::addColumn<bool>("serviceRuns");
    QTest::newRow("the desktop's service runs") << true;
    QTest::newRow("no service") << false;
}

void TestFreedesktopNotifier::notify()
{
    QFETCH(bool, serviceRuns);
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    QDBusConnection serviceSide = QDBusConnection::connectToBus(m_address, u"service "_s + tag);
    QDBusConnection clientSide = QDBusConnection::connectToBus(m_address, u"client "_s + tag);
    QVERIFY(serviceSide.isConnected() && clientSide.isConnected());
    StandInNotifications service;
    if (serviceRuns) {
        QVERIFY(serviceSide.registerObject(u"/org/freedesktop/Notifications"_s, &service,
                                           QDBusConnection::ExportAllSlots));
        QVERIFY(serviceSide.registerService(u"org.freedesktop.Notifications"_s));
    } else {
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(u"The desktop showed no notification: .+"_s));
    }

    Platform::FreedesktopNotifier notifier(clientSide);
    notifier.notify(u"Orvane is still running"_s, u"It keeps running."_s);
    if (serviceRuns) {
        QTRY_COMPARE(service.received,
                     QStringList{u"Orvane 0 orvane Orvane is still running|It keeps running. 0 orvane -1"_s});
    } else {
        // The refusal arrives and is logged (the ignored warning fails the test if it is not).
        QTest::qWait(300);
    }
    QDBusConnection::disconnectFromBus(u"service "_s + tag);
    QDBusConnection::disconnectFromBus(u"client "_s + tag);
}

QTEST_GUILESS_MAIN(TestFreedesktopNotifier)
#include "tst_freedesktopnotifier.moc"

#include "overlay/ContextWarnings.h"
#include "platform/dbus/FreedesktopNotifier.h"

#include <QDBusConnection>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The freedesktop notifications service as a test's stand-in: it keeps what it was asked to show.
class StandInService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList shown;

public Q_SLOTS:
    uint Notify(const QString &, uint, const QString &, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &, int)
    {
        shown.append(summary + u" | "_s + body);
        return uint(shown.size());
    }
};

// One step: the conversation (a transcript path) and its context fraction.
using Step = std::pair<QByteArray, std::optional<double>>;

} // namespace

class TestContextWarnings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void warnings_data();
    void warnings();
    void thresholds_data();
    void thresholds();

private:
    QTemporaryDir m_dir;
    QTemporaryFile m_config;
    QProcess m_bus;
    QString m_address;
};

// A private bus of our own, which starts no services: the session's, if any, is never touched.
void TestContextWarnings::initTestCase()
{
    QVERIFY(m_config.open());
    m_config.write(QStringLiteral(R"(<busconfig><type>session</type><listen>unix:dir=%1</listen>
<auth>EXTERNAL</auth><policy context="default"><allow send_destination="*"/><allow own="*"/>
</policy></busconfig>)").arg(m_dir.path()).toUtf8());
    m_config.close();
    m_bus.start(u"dbus-daemon"_s, {u"--config-file="_s + m_config.fileName(), u"--nofork"_s,
                                   u"--print-address=1"_s});
    QVERIFY2(m_bus.waitForStarted(), "dbus-daemon is needed");
    QTRY_VERIFY(m_bus.canReadLine());
    m_address = QString::fromUtf8(m_bus.readLine().trimmed());
}

void TestContextWarnings::cleanupTestCase()
{
    m_bus.kill();
    m_bus.waitForFinished();
}

void TestContextWarnings::warnings_data()
{
    QTest::addColumn<QList<Step>>("steps");
    QTest::addColumn<QStringList>("shown");
    const QString means = u" | Near the model’s limit older turns get summarised or dropped; a "
                          "new conversation starts with an empty context."_s;
    QTest::newRow("each threshold once per conversation, again in the next one")
        << QList<Step>{{"a", 0.5}, {"a", 0.813}, {"a", 0.85}, {"a", 0.7}, {"a", 0.86},
                       {"a", 0.95}, {"a", 0.99}, {"b", 0.3}, {"b", 0.9}, {"b", 0.91}}
        << QStringList{u"Claude · context 81 % full"_s + means,
                       u"Claude · context 95 % full"_s + means,
                       u"Claude · context 90 % full"_s + means};
    QTest::newRow("a jump past both: one; no window yet counts as none reached")
        << QList<Step>{{"a", std::nullopt}, {"a", 0.97}, {"a", 1.0}}
        << QStringList{u"Claude · context 97 % full"_s + means};
    QTest::newRow("a conversation first seen past a threshold: only the next one")
        << QList<Step>{{"a", 0.9}, {"a", 0.93}, {"a", 0.951}}
        << QStringList{u"Claude · context 95 % full"_s + means};
}

// Against a stand-in notifications service on a private bus: exactly the notifications expected,
// and none after them.
void TestContextWarnings::warnings()
{
    QFETCH(QList<Step>, steps);
    QFETCH(QStringList, shown);
    QDBusConnection service = QDBusConnection::connectToBus(m_address, u"service"_s);
    QDBusConnection client = QDBusConnection::connectToBus(m_address, u"client"_s);
    StandInService standIn;
    QVERIFY(service.registerObject(u"/org/freedesktop/Notifications"_s, &standIn,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService(u"org.freedesktop.Notifications"_s));
    Platform::FreedesktopNotifier notifier(client);
    Overlay::ContextWarnings warnings(&notifier, {80, 95});
    for (const auto &[conversation, fraction] : steps)
        warnings.update(conversation, u"Claude"_s, fraction);
    QTRY_COMPARE(standIn.shown, shown);
    QTest::qWait(200);
    QCOMPARE(standIn.shown, shown);

    QDBusConnection::disconnectFromBus(u"service"_s);
    QDBusConnection::disconnectFromBus(u"client"_s);
}

void TestContextWarnings::thresholds_data()
{
    QTest::addColumn<QVariant>("setting");
    QTest::addColumn<QList<int>>("thresholds");
    QTest::newRow("not set") << QVariant() << QList<int>{80, 95};
    QTest::newRow("empty: off") << QVariant(u""_s) << QList<int>{};
    QTest::newRow("one") << QVariant(u"90"_s) << QList<int>{90};
    QTest::newRow("sorted, repeats and others dropped")
        << QVariant(QStringList{u"95"_s, u" 70"_s, u"95"_s, u"x"_s, u"0"_s, u"101"_s, u"5.5"_s})
        << QList<int>{70, 95};
}

void TestContextWarnings::thresholds()
{
    QFETCH(QVariant, setting);
    QFETCH(QList<int>, thresholds);
    QCOMPARE(Overlay::ContextWarnings::thresholdsFrom(setting), thresholds);
}

QTEST_GUILESS_MAIN(TestContextWarnings)
#include "tst_contextwarnings.moc"

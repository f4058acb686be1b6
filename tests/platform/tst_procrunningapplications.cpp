#include "platform/ProcRunningApplications.h"

#include "FakeApplications.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>

#include <csignal>

#include <unistd.h>

// Names of this test's own, so that running the suite never touches a real application.
class TestProcRunningApplications : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matching_data();
    void matching();
    void deletedExecutableStillMatches();
    void otherUsersProcessesIgnored();
    void terminateAsksExactlyTheMatches();

private:
    static QString unique(const char *name)
    {
        return QLatin1String(name) + QString::number(QCoreApplication::applicationPid());
    }
};

struct Started
{
    QString name;
    QStringList arguments;
    bool expected;
};
Q_DECLARE_METATYPE(QList<Started>)

void TestProcRunningApplications::matching_data()
{
    QTest::addColumn<QList<Started>>("started");
    QTest::addColumn<QStringList>("names");

    const QString app = unique("OrvApp");
    const QString lower = app.toLower();
    QTest::newRow("exact name") << QList<Started>{{app, {}, true}} << QStringList{app};
    QTest::newRow("other case is another program")
        << QList<Started>{{lower, {}, false}, {app.toUpper(), {}, false}} << QStringList{app};
    QTest::newRow("name with a space")
        << QList<Started>{{app + QStringLiteral(" Desktop"), {}, true}}
        << QStringList{app, app + QStringLiteral(" Desktop")};
    QTest::newRow("prefix and extension do not match")
        << QList<Started>{{app + QStringLiteral("X"), {}, false},
                          {app + QStringLiteral(".bin"), {}, false}}
        << QStringList{app};
    QTest::newRow("helper process skipped")
        << QList<Started>{{app, {QStringLiteral("--type=renderer")}, false}} << QStringList{app};
    QTest::newRow("helper option after others")
        << QList<Started>{{app,
                           {QStringLiteral("--no-sandbox"), QStringLiteral("--type=gpu-process")},
                           false}}
        << QStringList{app};
    QTest::newRow("other options are not helpers")
        << QList<Started>{{app,
                           {QStringLiteral("--enable-features=x"), QStringLiteral("type=x")},
                           true}}
        << QStringList{app};
    QTest::newRow("several, mixed")
        << QList<Started>{{app, {}, true},
                          {lower, {}, false},
                          {app, {QStringLiteral("--type=utility")}, false},
                          {unique("OrvOther"), {}, false},
                          {app, {QStringLiteral("second")}, true}}
        << QStringList{app};
    QTest::newRow("no names") << QList<Started>{{app, {}, false}} << QStringList{};
}

void TestProcRunningApplications::matching()
{
    QFETCH(QList<Started>, started);
    QFETCH(QStringList, names);

    FakeApplications fakes;
    QList<qint64> expected;
    QList<qint64> ours;
    for (const Started &s : std::as_const(started)) {
        QProcess *process = fakes.start(s.name, s.arguments);
        QVERIFY(process);
        ours.append(process->processId());
        if (s.expected)
            expected.append(process->processId());
    }

    const Platform::ProcRunningApplications applications;
    QList<qint64> found;
    for (qint64 pid : applications.processIds(names)) {
        if (ours.contains(pid))
            found.append(pid);
    }
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    QCOMPARE(found, expected);
    QCOMPARE(applications.isRunning(names), !expected.isEmpty());
}

void TestProcRunningApplications::deletedExecutableStillMatches()
{
    const QString app = unique("OrvUpdated");
    FakeApplications fakes;
    QProcess *process = fakes.start(app);
    QVERIFY(process);
    QVERIFY(QFile::remove(fakes.executablePath(app)));

    const Platform::ProcRunningApplications applications;
    QCOMPARE(applications.processIds({app}), QList<qint64>{process->processId()});
}

void TestProcRunningApplications::otherUsersProcessesIgnored()
{
    // Only root can start a process as someone else, and only root would see its executable.
    if (::geteuid() != 0)
        QSKIP("needs root to start a process as another user");
    const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_qs);
    if (setpriv.isEmpty())
        QSKIP("setpriv is not installed");

    const QString app = unique("OrvOtherUser");
    FakeApplications fakes;
    QProcess *mine = fakes.start(app);
    QProcess *theirs = fakes.start(
        app, {}, {setpriv, u"--reuid=65534"_qs, u"--regid=65534"_qs, u"--clear-groups"_qs});
    QVERIFY(mine && theirs);
    // setpriv replaces itself with the copy; wait until it has.
    const QString theirExe = u"/proc/"_qs + QString::number(theirs->processId()) + u"/exe"_qs;
    QTRY_COMPARE(QFileInfo(theirExe).symLinkTarget(), fakes.executablePath(app));

    Platform::ProcRunningApplications applications;
    QCOMPARE(applications.processIds({app}), QList<qint64>{mine->processId()});
    QCOMPARE(applications.terminate({app}), 1);
    QVERIFY(!theirs->waitForFinished(200));
}

void TestProcRunningApplications::terminateAsksExactlyTheMatches()
{
    const QString app = unique("OrvQuit");
    FakeApplications fakes;
    QProcess *main = fakes.start(app);
    QProcess *second = fakes.start(app + QStringLiteral(" Desktop"));
    QProcess *lower = fakes.start(app.toLower());
    QProcess *helper = fakes.start(app, {QStringLiteral("--type=renderer")});
    QProcess *other = fakes.start(unique("OrvKeep"));
    QVERIFY(main && second && lower && helper && other);

    Platform::ProcRunningApplications applications;
    QCOMPARE(applications.terminate({app, app + QStringLiteral(" Desktop")}), 2);

    for (QProcess *ended : {main, second}) {
        QVERIFY(ended->waitForFinished(5000));
        QCOMPARE(ended->exitStatus(), QProcess::CrashExit);
        QCOMPARE(ended->exitCode(), SIGTERM);
    }
    // Nothing else was sent a signal: the others are still there a moment later.
    for (QProcess *kept : {lower, helper, other})
        QVERIFY(!kept->waitForFinished(200));
    QVERIFY(!applications.isRunning({app}));
}

QTEST_GUILESS_MAIN(TestProcRunningApplications)
#include "tst_procrunningapplications.moc"

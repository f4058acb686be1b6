// The real program, started twice for the same user: the second start hands over and ends.
#include "app/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void secondStartHandsOverAndExits();
    void staleSocketOfAKilledProcessIsReplaced();
    void damagedManifestEndsTheProgram();

private:
    QProcess *startProgram();
    QString socketPath() const { return m_runtime->path() + QStringLiteral("/orvane.socket"); }

    std::unique_ptr<QTemporaryDir> m_runtime;
    std::unique_ptr<QTemporaryDir> m_home;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

void TestSingleInstance::init()
{
    m_runtime = std::make_unique<QTemporaryDir>();
    m_home = std::make_unique<QTemporaryDir>();
}

void TestSingleInstance::cleanup()
{
    for (auto &process : m_processes) {
        process->kill();
        process->waitForFinished(5000);
    }
    m_processes.clear();
}

QProcess *TestSingleInstance::startProgram()
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime->path());
    environment.insert(QStringLiteral("HOME"), m_home->path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QCoreApplication::applicationDirPath() + QStringLiteral("/orvane"), {});
    m_processes.push_back(std::move(process));
    return m_processes.back().get();
}

void TestSingleInstance::secondStartHandsOverAndExits()
{
    QProcess *first = startProgram();
    QVERIFY(first->waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(socketPath()), 10000);

    QElapsedTimer clock;
    clock.start();
    QProcess *second = startProgram();
    QVERIFY(second->waitForFinished(10000));
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    // Sanitizer builds start slowly; the hand-over itself must not wait out any time-out.
    QVERIFY2(elapsed < 2500, qPrintable(QStringLiteral("second start took %1 ms").arg(elapsed)));
    QCOMPARE(first->state(), QProcess::Running);
}

void TestSingleInstance::staleSocketOfAKilledProcessIsReplaced()
{
    QProcess *crashed = startProgram();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(socketPath()), 10000);
    crashed->kill();
    QVERIFY(crashed->waitForFinished());
    QVERIFY(QFileInfo::exists(socketPath()));

    QProcess *fresh = startProgram();
    SingleInstance probe(socketPath());
    QTRY_VERIFY_WITH_TIMEOUT(probe.handOverToRunning(200), 10000);
    QCOMPARE(fresh->state(), QProcess::Running);
}

void TestSingleInstance::damagedManifestEndsTheProgram()
{
    // A copy of the program in a tree of its own, whose manifest has an unknown version.
    QTemporaryDir tree;
    QVERIFY(QDir(tree.path()).mkpath(QStringLiteral("bin")));
    QVERIFY(QDir(tree.path()).mkpath(QStringLiteral("share/orvane")));
    const QString program = tree.path() + QStringLiteral("/bin/orvane");
    QVERIFY(
        QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/orvane"), program));
    QFile manifest(tree.path() + QStringLiteral("/share/orvane/install-manifest.json"));
    QVERIFY(manifest.open(QIODevice::WriteOnly));
    manifest.write(R"({"schema_version": 2})");
    manifest.close();

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime->path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.start(program, {});
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY(process.exitCode() != 0);
    QCOMPARE(process.readAllStandardError(),
             QByteArrayLiteral("Orvane.app is missing its bundled install-manifest.json\n"));
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"

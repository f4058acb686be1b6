#include "setup/DesktopLaunchers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The launchers with the real login-shell runner: a bash login shell in a fixture home whose
// profile puts a recording `orv` first in PATH.
class TestDesktopLaunchThroughShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void launch_data();
    void launch();

private:
    QTemporaryDir m_home;
    QString m_record;
};

namespace {

bool writeFile(const QString &path, const QByteArray &contents, bool executable = false)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        return false;
    file.close();
    return !executable ||
           file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

SetupResult<void> waitFor(const std::function<void(Completion<void>)> &start)
{
    std::optional<SetupResult<void>> outcome;
    start([&outcome](SetupResult<void> result) { outcome = std::move(result); });
    if (!QTest::qWaitFor([&outcome] { return outcome.has_value(); }, 60000))
        return std::unexpected(SetupError::exitedWithStatus(-1, u"no completion"_qs));
    return *outcome;
}

} // namespace

void TestDesktopLaunchThroughShell::initTestCase()
{
    QVERIFY(m_home.isValid());
    const QString bin = m_home.filePath(u"bin"_qs);
    m_record = m_home.filePath(u"orv-arguments"_qs);
    QVERIFY(QDir().mkpath(bin));
    // Fails, as the tool does, when asked for a desktop application it cannot start.
    QVERIFY(writeFile(bin + u"/orv"_qs,
                      "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + QFile::encodeName(m_record) +
                          "'\n[ \"$1\" = codex ] && { echo 'Codex Desktop is not installed'; "
                          "exit 3; }\nexit 0\n",
                      true));
    QVERIFY(writeFile(m_home.filePath(u".bash_profile"_qs),
                      "export PATH='" + QFile::encodeName(bin) + "':\"$PATH\"\n"));
    qputenv("HOME", QFile::encodeName(m_home.path()));
    qputenv("SHELL", "/bin/bash");
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(u"data"_qs)));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(m_home.filePath(u"data"_qs)));
}

void TestDesktopLaunchThroughShell::launch_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QStringList>("recorded"); // what orv was given; empty: not run
    QTest::addColumn<int>("status");           // 0: success
    QTest::addColumn<QString>("lastLine");

    QTest::newRow("claude native")
        << 0 << QStringList{u"claude"_qs, u"desktop"_qs, u"native"_qs} << 0 << QString();
    QTest::newRow("codex fails") << 1 << QStringList{u"codex"_qs, u"desktop"_qs, u"gateway"_qs} << 3
                                 << u"Codex Desktop is not installed"_qs;
    QTest::newRow("opencode not installed")
        << 2 << QStringList{} << 1 << u"OpenCode is not installed."_qs;
}

void TestDesktopLaunchThroughShell::launch()
{
    QFETCH(int, which);
    QFETCH(QStringList, recorded);
    QFETCH(int, status);
    QFETCH(QString, lastLine);
    QFile::remove(m_record);

    const SetupResult<void> result = waitFor([which](Completion<void> done) {
        if (which == 0)
            Setup::launchClaudeDesktop(DesktopLaunchMode::native, std::move(done));
        else if (which == 1)
            Setup::launchCodexDesktop(DesktopLaunchMode::gateway, std::move(done));
        else
            Setup::launchOpenCodeDesktop(std::move(done));
    });

    if (status == 0) {
        QVERIFY(result.has_value());
    } else {
        QVERIFY(!result.has_value());
        const auto *error = std::get_if<SetupError>(&result.error());
        QVERIFY(error);
        QCOMPARE(error->status, status);
        // An interactive shell without a terminal may complain before the command's words.
        QCOMPARE(error->output.split(u'\n').last().trimmed(), lastLine);
    }
    QFile file(m_record);
    if (recorded.isEmpty()) {
        QVERIFY(!file.exists());
        return;
    }
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts), recorded);
}

QTEST_GUILESS_MAIN(TestDesktopLaunchThroughShell)
#include "tst_desktoplaunchthroughshell.moc"

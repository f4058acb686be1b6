// The application as the user meets it: one fixed-size window that survives being closed and
// comes back instead of multiplying; and the real program started twice, after a crash, and
// with a damaged manifest.
#include "app/OrvaneApp.h"
#include "app/SetupWindow.h"
#include "app/SingleInstance.h"
#include "app/TrayMenu.h"
#include "overlay/OverlayPanelController.h"
#include "support/RecordingNotifier.h"
#include "support/X11Client.h"
#include "support/XvfbServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <sys/stat.h>
#include <thread>

#include <unistd.h>

using namespace Qt::StringLiterals;

// Whether the window was up or the overlay running before the event loop ran.
static bool startedBeforeEventLoop = true;

class TestOrvaneApp : public QObject
{
    Q_OBJECT

public:
    explicit TestOrvaneApp(App::OrvaneApp *app)
        : m_app(app)
    {}

private Q_SLOTS:
    void startUpAndOneFixedWindowThatSurvivesClosing()
    {
        // The window comes up and the overlay starts once the event loop runs, not before.
        QVERIFY(!startedBeforeEventLoop);
        QTRY_VERIFY(m_app->overlay()->isStarted());
        App::SetupWindow *window = m_app->setupWindow();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->windowTitle(), u"Orvane"_s);
        window->resize(900, 700);
        QCOMPARE(window->size(), QSize(720, 560));

        QSignalSpy quitting(m_app, &QCoreApplication::aboutToQuit);
        QSignalSpy closed(window, &App::SetupWindow::closed);
        QVERIFY(window->close());
        QTest::qWait(200); // give a pending quit every chance to happen
        QVERIFY(quitting.isEmpty() && !QCoreApplication::closingDown());
        QCOMPARE(closed.size(), 1);

        // Starting the program again brings the same window back, every time.
        QVERIFY(handOverFromSecondStart(App::SingleInstance::defaultSocketPath()));
        QTRY_VERIFY(window->isVisible());
        QVERIFY(handOverFromSecondStart(App::SingleInstance::defaultSocketPath()));
        QCOMPARE(m_app->setupWindow(), window);
        int windows = 0;
        for (QWidget *widget : QApplication::topLevelWidgets())
            windows += qobject_cast<App::SetupWindow *>(widget) ? 1 : 0;
        QCOMPARE(windows, 1);
        // Ctrl+Q in the window asks to quit.
        QTRY_VERIFY(window->isActiveWindow());
        QSignalSpy quit(window, &App::SetupWindow::quitRequested);
        QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(quit.count(), 1);
    }

    void closingWithoutATrayTellsOnce()
    {
        RecordingNotifier said;
        App::TrayMenu tray(Platform::QtTimers::instance(), said);
        tray.showWhenAvailable();
        QVERIFY(!tray.isShown()); // the test's display has no notification area
        tray.windowClosed();
        tray.windowClosed();
        QCOMPARE(said.lines,
                 QStringList{u"Orvane is still running|It keeps running for the usage pill. To quit, "
                             "open Orvane from the menu and press Ctrl+Q."_s});
    }

    void secondStartHandsOverEvenAfterACrash()
    {
        // A copy killed leaves its socket and answers file behind: the next start replaces the
        // one and removes the other, and a second start then hands over to that one and exits.
        QProcess *crashed = startProgram();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(socket()), 10000);
        crashed->kill();
        QVERIFY(crashed->waitForFinished() && QFileInfo::exists(socket()));
        QFile answers(m_runtime.filePath(u"orv_install_0.json"_s));
        QVERIFY(answers.open(QIODevice::WriteOnly) &&
                answers.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
        answers.close();
        QProcess *first = startProgram();
        QTRY_VERIFY_WITH_TIMEOUT(App::SingleInstance(socket()).handOverToRunning(200), 10000);
        QVERIFY(!answers.exists());
        QElapsedTimer clock;
        clock.start();
        QProcess *second = startProgram();
        QVERIFY(second->waitForFinished(10000));
        // Sanitizer builds start slowly; the hand-over itself must not wait out any time-out.
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        endsOn(first, SIGTERM);
    }

    void eightCopiesAtOnceLeaveOne()
    {
        // Half of them without a runtime folder, as from a session that sets none: the lock is the
        // same for all.
        QList<QProcess *> copies;
        for (int i = 0; i < 8; ++i)
            copies.append(startProgram({}, i % 2 ? QStringList{u"XDG_RUNTIME_DIR"_s} : QStringList{}));
        const auto ended = [&copies] {
            return std::count_if(copies.begin(), copies.end(), [](QProcess *copy) {
                return copy->state() == QProcess::NotRunning;
            });
        };
        QTRY_VERIFY_WITH_TIMEOUT(ended() == 7, 90000);
        QTest::qWait(300); // a late second server would show up here
        QCOMPARE(ended(), 7);
        for (QProcess *copy : copies) {
            if (copy->state() == QProcess::NotRunning)
                QVERIFY2(copy->exitStatus() == QProcess::NormalExit && copy->exitCode() == 0,
                         copy->readAllStandardError().constData());
        }
        // The one left is the one that answers.
        const auto left = std::find_if(copies.begin(), copies.end(), [](QProcess *copy) {
            return copy->state() == QProcess::Running;
        });
        const bool withRuntime = (left - copies.begin()) % 2 == 0;
        QVERIFY(App::SingleInstance(withRuntime ? socket() : cacheSocket()).handOverToRunning(5000));
        endsOn(*left, SIGHUP); // logging out
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output"); // how standard output (status 0) or error begins
        QTest::newRow("version") << QStringList{u"--version"_s} << 0 << u"Orvane 0.1.0\n"_s;
        QTest::newRow("help") << QStringList{u"--help"_s} << 0 << u"Usage: "_s;
        QTest::newRow("unknown option") << QStringList{u"--fast"_s} << 2 << u"orvane: Unknown option 'fast'."_s;
        QTest::newRow("an argument") << QStringList{u"file"_s} << 2 << u"orvane: Unexpected argument 'file'."_s;
    }

    // The command line is answered without a window and without asking a running copy.
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, output);
        QProcess *program = startProgram({}, {}, arguments);
        QVERIFY(program->waitForFinished(20000));
        QCOMPARE(program->exitCode(), status);
        const QString text = QString::fromUtf8(status ? program->readAllStandardError() : program->readAllStandardOutput());
        QVERIFY2(text.startsWith(output), qPrintable(text));
        QVERIFY(!QFileInfo::exists(socket()));
    }

    // On a desktop: Qt's platform is this program's own choice, so the shells it starts get the
    // session's environment (and so do the terminals and applications started from them); and
    // a notification area that starts after the program still gets its icon.
    // The session's runtime folder is one everyone may write to, where another user could hold
    // the socket's name; and another user listens where the program used to look for itself
    // without one, answering every request, which would have kept it from ever starting.
    void onADesktop()
    {
        QTemporaryDir shared;
        QVERIFY(::chmod(QFile::encodeName(shared.path()).constData(), 01777) == 0);
        QLocalServer squatter;
        QVERIFY(squatter.listen(shared.filePath(u"orvane-%1.socket"_s.arg(::getuid()))));
        connect(&squatter, &QLocalServer::newConnection, &squatter, [&squatter] {
            while (QLocalSocket *client = squatter.nextPendingConnection()) {
                connect(client, &QLocalSocket::readyRead, client, [client] {
                    client->readAll();
                    client->write("ok\n");
                });
            }
        });
        const QString shell = m_runtime.filePath(u"recording shell"_s);
        QFile file(shell);
        // A part file of each shell's own: the program starts two at once, and one truncating a
        // shared part file after the other had moved it would leave an empty record.
        QVERIFY(file.open(QIODevice::WriteOnly) &&
                file.write("#!/bin/sh\nenv > \"$HOME/env.$$\" && mv \"$HOME/env.$$\" \"$HOME/env\"\n") > 0);
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        const QStringList changes{u"SHELL="_s + shell, u"XDG_RUNTIME_DIR="_s + shared.path(),
                                  u"TMPDIR="_s + shared.path()};
        QProcess *program = startOnDisplay({}, changes);
        if (!program)
            QSKIP("Xvfb is not installed");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(m_runtime.filePath(u"env"_s)), 30000);
        QFile environment(m_runtime.filePath(u"env"_s));
        QVERIFY(environment.open(QIODevice::ReadOnly));
        const QByteArray lines = environment.readAll();
        QVERIFY2(lines.contains("\nDISPLAY=") && !lines.contains("QT_QPA_PLATFORM"), lines.constData());

        // Once the window shows, the program has looked for a tray.
        QTRY_VERIFY_WITH_TIMEOUT(windowShown(u"Orvane"_s), 30000);
        QTest::qWait(500);
        // Become the notification area as a panel does: own the screen's tray selection, and say
        // so; the icon then asks to be docked.
        X11Client x;
        const xcb_window_t tray = x.createWindow({}, {}, 0, {0, 0, 1, 1});
        x.ownSelection(tray, "_NET_SYSTEM_TRAY_S0");
        x.sendToRoot("MANAGER", {XCB_CURRENT_TIME, x.atom("_NET_SYSTEM_TRAY_S0"), tray}, XCB_EVENT_MASK_STRUCTURE_NOTIFY);
        bool docked = false;
        for (QDeadlineTimer deadline(15000); !docked && !deadline.hasExpired(); QTest::qWait(20))
            for (const auto &data : x.clientMessages("_NET_SYSTEM_TRAY_OPCODE"))
                docked = docked || data[1] == 0; // SYSTEM_TRAY_REQUEST_DOCK
        QVERIFY(docked);

        QVERIFY(!QFileInfo::exists(shared.filePath(u"orvane.socket"_s)));
        QVERIFY(App::SingleInstance(cacheSocket()).handOverToRunning(5000));
        QCOMPARE(QFileInfo(m_runtime.filePath(u".cache/orvane"_s)).permissions(),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser |
                     QFile::WriteUser | QFile::ExeUser);
        endsOn(program, SIGINT);
    }

    void unusableSocketEndsWithAMessage_data()
    {
        QTest::addColumn<QString>("setUp");   // what is put in the way
        QTest::addColumn<QString>("message"); // what standard error must say
        QTest::newRow("a folder in the socket's place") << u"folder"_s << u"cannot listen at"_s;
        QTest::newRow("a socket path too long") << u"long"_s << u"too long"_s;
        QTest::newRow("a fallback folder others may enter") << u"open"_s << u"is not a folder of this user's own"_s;
    }

    void unusableSocketEndsWithAMessage()
    {
        QFETCH(QString, setUp);
        QFETCH(QString, message);
        QTemporaryDir place;
        QStringList changes;
        if (setUp == u"folder"_s) {
            QVERIFY(QDir().mkpath(place.filePath(u"orvane.socket"_s)));
            changes << u"XDG_RUNTIME_DIR="_s + place.path();
        } else if (setUp == u"long"_s) {
            const QString deep = place.filePath(QString(60, u'd') + u'/' + QString(60, u'e'));
            QVERIFY(QDir().mkpath(deep) && ::chmod(QFile::encodeName(deep).constData(), 0700) == 0);
            changes << u"XDG_RUNTIME_DIR="_s + deep;
        } else {
            QVERIFY(QDir().mkpath(place.filePath(u".cache/orvane"_s)));
            QVERIFY(QFile::setPermissions(place.filePath(u".cache/orvane"_s),
                                          QFile::Permissions(0x7777)));
            changes << u"XDG_RUNTIME_DIR"_s << u"HOME="_s + place.path() << u"XDG_CACHE_HOME"_s;
        }
        QProcess *program = startProgram({}, changes);
        QVERIFY(program->waitForFinished(20000));
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
        QVERIFY(program->exitCode() != 0);
        // Qt may warn about the runtime folder first; the program's own line is the last.
        const QString error = QString::fromUtf8(program->readAllStandardError()).trimmed();
        const QString last = error.section(u'\n', -1);
        QVERIFY2(last.startsWith(u"Orvane cannot start: "_s) && last.contains(message),
                 qPrintable(error));
    }

    void damagedManifestEndsTheProgram()
    {
        // A copy of the program in a tree of its own, whose manifest has an unknown version.
        QTemporaryDir tree;
        QVERIFY(QDir(tree.path()).mkpath(u"bin"_s) && QDir(tree.path()).mkpath(u"share/orvane"_s));
        const QString program = tree.filePath(u"bin/orvane"_s);
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + u"/orvane"_s, program));
        QFile manifest(tree.filePath(u"share/orvane/install-manifest.json"_s));
        QVERIFY(manifest.open(QIODevice::WriteOnly) && manifest.write(R"({"schema_version": 2})") > 0);
        manifest.close();
        // Started from the menu, it says so in a box too, and ends once that is closed.
        QProcess *process = startOnDisplay(program);
        if (!process)
            QSKIP("Xvfb is not installed");
        QTRY_VERIFY_WITH_TIMEOUT(windowShown(u"Orvane"_s), 30000);
        QCOMPARE(process->state(), QProcess::Running);
        QVERIFY(QProcess::execute(u"xdotool"_s, {u"key"_s, u"Return"_s}) == 0);
        QVERIFY(process->waitForFinished(20000));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QVERIFY(process->exitCode() != 0);
        // The log's line on what is wrong comes first; the user's line, naming the data folder, last.
        const QByteArray error = process->readAllStandardError();
        const QByteArray folder = QFile::encodeName(tree.filePath(u"share/orvane"_s));
        QVERIFY2(error.contains(QByteArray("Manifest " + folder + "/install-manifest.json is invalid: ")) &&
                     error.endsWith(QByteArray('\n' + folder + " is missing its bundled install-manifest.json\n")),
                 error.constData());
    }

    void cleanup()
    {
        for (QProcess *process : std::as_const(m_processes)) {
            process->kill();
            process->waitForFinished(5000);
            delete process;
        }
        m_processes.clear();
        QFile::remove(socket());
        QFile::remove(cacheSocket());
    }

private:
    // Ended by a signal, the program quits as on Quit.
    static void endsOn(QProcess *program, int signal)
    {
        QCOMPARE(program->state(), QProcess::Running); // a process id of 0 would be our own group
        QVERIFY(::kill(pid_t(program->processId()), signal) == 0);
        QVERIFY(program->waitForFinished(20000));
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
        QVERIFY2(program->exitCode() == 0, program->readAllStandardError().right(3000).constData());
    }

    // A second start, on a thread of its own: it blocks while this thread has to serve it.
    static bool handOverFromSecondStart(const QString &socket)
    {
        std::atomic<bool> finished = false;
        bool answered = false;
        std::thread client([&] {
            answered = App::SingleInstance(socket).handOverToRunning(5000);
            finished = true;
        });
        for (QDeadlineTimer deadline(10000); !finished && !deadline.hasExpired();)
            QTest::qWait(10);
        client.join();
        return answered;
    }

    // The real program, in its own runtime folder; `program` may be a copy elsewhere.
    // `changes`: variables to set ("NAME=value") or unset ("NAME").
    QProcess *startProgram(const QString &program = {}, const QStringList &changes = {},
                           const QStringList &arguments = {})
    {
        auto *process = new QProcess(this);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_RUNTIME_DIR"_s, m_runtime.path());
        environment.insert(u"HOME"_s, m_runtime.path());
        // Where Qt makes a runtime folder of its own when it is given none or a shared one.
        environment.insert(u"TMPDIR"_s, m_runtime.path());
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        for (const QString &change : changes) {
            if (change.contains(u'='))
                environment.insert(change.section(u'=', 0, 0), change.section(u'=', 1));
            else
                environment.remove(change);
        }
        process->setProcessEnvironment(environment);
        process->start(program.isEmpty() ? QCoreApplication::applicationDirPath() + u"/orvane"_s
                                         : program,
                       arguments);
        m_processes.append(process);
        return process;
    }
    QString socket() const { return m_runtime.filePath(u"orvane.socket"_s); }
    // The same without a runtime folder.
    QString cacheSocket() const { return m_runtime.filePath(u".cache/orvane/orvane.socket"_s); }

    // The program on a private X server, as a desktop session starts it: DISPLAY set, no
    // platform chosen, no session bus (so a notification area is one on X11).
    QProcess *startOnDisplay(const QString &program = {}, const QStringList &changes = {})
    {
        if (m_xvfb.display().isEmpty() && !m_xvfb.start().isEmpty())
            return nullptr;
        return startProgram(program, changes + QStringList{u"QT_QPA_PLATFORM"_s, u"DBUS_SESSION_BUS_ADDRESS"_s,
                                                           u"DISPLAY="_s + QString::fromLatin1(m_xvfb.display())});
    }
    // Whether a window of that title is shown on the private X server.
    bool windowShown(const QString &title) const
    {
        const QStringList search{u"search"_s, u"--onlyvisible"_s, u"--name"_s, u'^' + title + u'$'};
        return m_xvfb.run(u"xdotool"_s, search, 10000).has_value();
    }

    App::OrvaneApp *m_app;
    QTemporaryDir m_runtime;
    QList<QProcess *> m_processes;
    XvfbServer m_xvfb;
};

int main(int argc, char **argv)
{
    // The in-process application gets its own per-user socket folder and home, so a developer's
    // running copy, settings and transcripts are not touched.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    qputenv("HOME", runtime.path().toLocal8Bit());
    App::OrvaneApp app(argc, argv);
    if (!app.initialize())
        return 1;
    startedBeforeEventLoop = app.overlay()->isStarted() || app.setupWindow()->isVisible();
    TestOrvaneApp test(&app);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_orvaneapp.moc"

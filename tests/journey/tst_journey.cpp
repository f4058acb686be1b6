// A user's first day with Orvane, from the installed tree: the program as `cmake --install` lays
// it out starts on a private X server under Openbox, in a home where Claude Code and Codex are
// already set up, with npm pointed at a registry on loopback that serves the stand-in router
// package, and a gateway on loopback named in its configuration. The test only presses keys
// (xdotool), as a user could, and opens plain windows for the window manager to activate; it
// reads the screens through the accessibility tree a screen reader sees. Every step leaves a
// screenshot in the output folder and prints its time.
#include "journey/AccessibleTree.h"
#include "setup/FixtureHome.h"
#include "support/HttpTestServer.h"
#include "setup/StandInRouter.h"
#include "support/XvfbServer.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr int installTimeout = 90'000; // npx unpacks the package from loopback
constexpr int screenTimeout = 30'000;
constexpr int screenWidth = 1280;

} // namespace

class TestJourney : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void firstDay();

private:
    // Starts the installed program on the desktop, in the fixture home.
    QProcess &startProgram(const FixtureHome &home);
    // Waits until a showing object is called `name`, then photographs the screen as `picture`;
    // false (and the test failed) when nothing came.
    bool reach(const QString &name, const QString &picture, int timeout = screenTimeout);
    // The commands the launcher lists: the showing buttons that read as a router command.
    QStringList listedCommands() const;
    // The showing pill: the object that carries the overlay's status line as its description.
    std::optional<AccessibleTree::Node> pill() const;
    // Photographs the screen as `picture`.
    QImage photograph(const QString &picture);
    // Opens a plain window whose instance name is `name` and waits until the window manager
    // has made it the active one.
    void openWindow(const QString &name, const QString &title, const QString &geometry);
    void step(const char *what);
    // A key press as a user types it, into whichever window has the focus.
    void key(const QString &keys) const
    {
        QVERIFY(m_desktop->run(u"xdotool"_s, {u"key"_s, u"--delay"_s, u"60"_s, keys}));
    }

    QTemporaryDir m_prefix;
    QString m_output;
    HttpTestServer m_registry;
    HttpTestServer m_gateway;
    std::unique_ptr<XvfbServer> m_desktop;
    std::unique_ptr<AccessibleTree> m_tree;
    QElapsedTimer m_total;
    QElapsedTimer m_step;
};

std::optional<AccessibleTree::Node> TestJourney::pill() const
{
    for (const AccessibleTree::Node &node : m_tree->showing()) {
        if (node.name == u"Orvane"_s && node.description.startsWith(u"Claude \u00B7 "_s))
            return node;
    }
    return std::nullopt;
}

QImage TestJourney::photograph(const QString &picture)
{
    const QImage screen = m_desktop->screenshot();
    [&] {
        QVERIFY(!screen.isNull());
        QVERIFY(screen.save(m_output + u'/' + picture + u".png"_s));
    }();
    return screen;
}

void TestJourney::openWindow(const QString &name, const QString &title, const QString &geometry)
{
    m_desktop->spawn(u"xmessage"_s,
                     {u"-name"_s, name, u"-title"_s, title, u"-geometry"_s, geometry, title});
    const auto activeTitle = [this] {
        const auto active =
            m_desktop->run(u"xdotool"_s, {u"getactivewindow"_s, u"getwindowname"_s});
        return active ? QString::fromUtf8(*active).trimmed() : QString();
    };
    for (QDeadlineTimer deadline(screenTimeout); activeTitle() != title; QTest::qWait(50))
        QVERIFY2(!deadline.hasExpired(),
                 qPrintable(title + u" did not become the active window"_s));
}

void TestJourney::step(const char *what)
{
    qInfo("%-44s %6.2f s  (%6.2f s in all)", what, m_step.elapsed() / 1000.0,
          m_total.elapsed() / 1000.0);
    m_step.restart();
}

void TestJourney::initTestCase()
{
    for (const auto *program :
         {"Xvfb", "openbox", "xdotool", "xprop", "xmessage", "dbus-daemon", "npx", "node"})
        SKIP_UNLESS_INSTALLED(QString::fromLatin1(program));
    m_total.start();
    m_step.start();

    m_output = QStringLiteral(ORVANE_JOURNEY_OUTPUT);
    QDir(m_output).removeRecursively();
    QVERIFY(QDir().mkpath(m_output));
    qInfo("screenshots go to %s", qPrintable(m_output));

    QVERIFY(m_prefix.isValid());
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(
        QStringLiteral(ORVANE_CMAKE_COMMAND),
        {u"--install"_s, QStringLiteral(ORVANE_BUILD_DIR), u"--prefix"_s, m_prefix.path()});
    QVERIFY(install.waitForFinished(60'000));
    QVERIFY2(install.exitCode() == 0, install.readAll().constData());
    step("installed into a temporary prefix");
}

QProcess &TestJourney::startProgram(const FixtureHome &home)
{
    QProcessEnvironment environment = m_desktop->environment();
    environment.remove(u"QT_QPA_PLATFORM"_s);
    environment.insert(u"HOME"_s, home.path());
    environment.insert(u"SHELL"_s, QProcessEnvironment::systemEnvironment().value(u"SHELL"_s));
    environment.insert(u"TMPDIR"_s, home.path());
    // npm and the version lookup both ask this registry; the environment outranks any .npmrc.
    environment.insert(u"npm_config_registry"_s, m_registry.url() + u'/');
    // Publish the widgets on the accessibility bus even without a screen reader running.
    environment.insert(u"QT_LINUX_ACCESSIBILITY_ALWAYS_ON"_s, u"1"_s);
    QProcess &program = m_desktop->spawn(m_prefix.filePath(u"bin/orvane"_s), {}, environment, true);
    [&] {
        QVERIFY2(program.state() == QProcess::Running, "the installed program did not start");
    }();
    return program;
}

bool TestJourney::reach(const QString &name, const QString &picture, int timeout)
{
    bool found = false;
    for (QDeadlineTimer deadline(timeout); !found && !deadline.hasExpired();) {
        found = m_tree->shows(name);
        if (!found)
            QTest::qWait(100); // the loopback registry answers while we wait
    }
    // The screens cross-fade for 220 ms; the picture is taken once the old one has gone.
    QTest::qWait(350);
    photograph(picture);
    QStringList names;
    for (const AccessibleTree::Node &node : found ? QList<AccessibleTree::Node>() : m_tree->showing())
        names.append(u"%1:%2"_s.arg(node.role).arg(node.name));
    if (!found) // what was there instead
        qWarning("nothing showing is called \"%s\" (see %s.png); showing: %s", qPrintable(name),
                 qPrintable(picture), qPrintable(names.join(u" | "_s)));
    return found && !QTest::currentTestFailed();
}

QStringList TestJourney::listedCommands() const
{
    QStringList commands;
    for (const AccessibleTree::Node &node : m_tree->showing()) {
        if (node.role == AccessibleTree::kPushButton && node.name.startsWith(u"orv "_s))
            commands.append(node.name);
    }
    return commands;
}

void TestJourney::firstDay()
{
    // Claude Code and Codex are in use here, so the wizard offers both; the configuration an
    // earlier sign-in left names the gateway the overlay will ask.
    FixtureHome home;
    QVERIFY(QDir().mkpath(home.path(u".claude"_s)) && QDir().mkpath(home.path(u".codex"_s)));
    home.write(u".config/orvane/config.json"_s,
               QJsonDocument(QJsonObject{{u"gateway_base_url"_s, m_gateway.url()},
                                         {u"api_key"_s, u"sk-journey"_s}})
                   .toJson());
    QVERIFY(QDir().mkpath(home.path(u"pack"_s)));
    serveStandInRouter(m_registry, QStringLiteral(ORVANE_SETUP_FIXTURES), home.path(u"pack"_s));
    QVERIFY(!QTest::currentTestFailed());
    // The gateway's answer for Claude Desktop, and the line the pill makes of it.
    m_gateway.routes = {
        {u"/v1/orv/statusline?harness=claude-code&surface=claude-desktop"_s,
         {200,
          R"({"model_display_name":"Opus 4.1","auth_mode":"subscription","savings_pct":38,"asks_open":2,"answers_fresh":1})"}}};
    const QString statusLine =
        u"Claude \u00B7 orv (subscription) \u00B7 38% saved \u00B7 \U0001F4E8 2 \U0001F4EC 1"_s;

    m_desktop = std::make_unique<XvfbServer>();
    QCOMPARE(m_desktop->start(screenWidth, 800), QString());
    const QString bus = m_desktop->startBus();
    QVERIFY(!bus.isEmpty());
    QCOMPARE(m_desktop->startWindowManager(XvfbServer::WindowManager::Openbox), QString());
    m_tree = std::make_unique<AccessibleTree>(bus);
    step("desktop up (Xvfb, Openbox, session bus)");

    QProcess *program = &startProgram(home);
    QVERIFY(!QTest::currentTestFailed());
    QVERIFY(reach(u"Get started"_s, u"1-welcome"_s));
    // The desktop finds the window by the class its menu entry names, with the mark as its icon.
    const QString wmClass = QSettings(m_prefix.filePath(u"share/applications/orvane.desktop"_s),
                                      QSettings::IniFormat)
                                .value(u"Desktop Entry/StartupWMClass"_s)
                                .toString();
    const auto window = m_desktop->run(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s,
                                                      u"--classname"_s, u'^' + wmClass + u'$'});
    QVERIFY2(window, "no window with the menu entry's class");
    const QString id = QString::fromLatin1(*window).section(u'\n', 0, 0);
    const QString properties = QString::fromUtf8(
        m_desktop->run(u"xprop"_s, {u"-id"_s, id, u"WM_CLASS"_s, u"_NET_WM_ICON"_s}).value_or(""));
    QVERIFY2(properties.contains(u"WM_CLASS(STRING) = \""_s + wmClass + u"\", \"Orvane\""_s) &&
                 properties.contains(u"_NET_WM_ICON(CARDINAL) = "_s),
             qPrintable(properties.left(400)));
    step("welcome screen, in the window the menu entry names");

    // OpenCode as well: back from "Continue" to its tile, Space, and on.
    key(u"Return"_s);
    QVERIFY(reach(u"Which do you use?"_s, u"2-tools"_s));
    // Both tools found in the home come chosen: a funding step for each of their groups.
    QVERIFY(m_tree->shows(u"1 OF 3"_s));
    key(u"shift+Tab"_s);
    key(u"space"_s);
    key(u"Tab"_s);
    key(u"Return"_s);
    QVERIFY(reach(u"2 OF 3"_s, u"3-funding-claude"_s));
    key(u"Return"_s);
    QVERIFY(reach(u"3 OF 3"_s, u"4-funding-openai"_s));
    step("Return, OpenCode picked, Return x2: the funding steps");

    key(u"Return"_s);
    QVERIFY(reach(u"Ready."_s, u"5-complete"_s, installTimeout));
    step("Return: installer ran, completion screen");

    // The installer ran on a terminal: the stand-in package's version, so npx fetched it from
    // the loopback registry, and with the tools the user kept.
    QCOMPARE(home.read(u".local/state/orvane/history.log"_s), "install 1.4.0 stdin-tty=true\n");
    QStringList harnesses;
    const QJsonArray installations =
        QJsonDocument::fromJson(home.read(u".local/state/orvane/installations.json"_s))
            .object()
            .value(u"installations"_s)
            .toArray();
    for (const QJsonValue &entry : installations)
        harnesses.append(entry.toObject().value(u"harness"_s).toString());
    QCOMPARE(harnesses, (QStringList{u"claude-code"_s, u"codex"_s, u"opencode"_s}));
    // The configuration the overlay reads still names the gateway.
    QVERIFY(home.read(u".config/orvane/config.json"_s).contains(m_gateway.url().toUtf8()));

    // "Open Launcher" has the keyboard.
    const QStringList commands{u"orv claude"_s, u"orv codex"_s, u"orv opencode"_s};
    key(u"Return"_s);
    QVERIFY(reach(u"orv codex"_s, u"6-launcher"_s));
    QCOMPARE(listedCommands(), commands);
    step("Return: launcher");

    // A window with Claude Desktop's identity: once the window manager activates it, the pill
    // shows at the top right of the work area with the gateway's status line for it.
    openWindow(u"claude"_s, u"Claude (stand-in)"_s, u"900x600+80+90"_s);
    QVERIFY(!QTest::currentTestFailed());
    std::optional<AccessibleTree::Node> shown;
    for (QDeadlineTimer deadline(screenTimeout); !deadline.hasExpired(); QTest::qWait(100)) {
        shown = pill();
        if (shown && shown->description == statusLine)
            break;
    }
    QTest::qWait(350);
    const QImage withPill = photograph(u"7-pill-over-claude"_s);
    QVERIFY2(shown, "no pill is showing");
    QCOMPARE(shown->description, statusLine);
    // The default place: 22 points in from the right of the work area (here the whole screen),
    // 18 down from its top; collapsed, the pill is 318 by 58.
    QCOMPARE(shown->extents, QRect(screenWidth - 22 - 318, 18, 318, 58));
    // And it is on the screen, not only in the tree: the pill's opaque dark body, where the
    // desktop behind it is black.
    const QColor body = withPill.pixelColor(shown->extents.left() + 6, shown->extents.center().y());
    QVERIFY2(body.red() > 12 && body.red() < 40 && qAbs(body.red() - body.blue()) < 6,
             qPrintable(body.name()));
    step("Claude window active: pill with status line");

    // Any other window hides it.
    openWindow(u"notes"_s, u"Notes"_s, u"500x300+600+300"_s);
    QVERIFY(!QTest::currentTestFailed());
    QTRY_VERIFY_WITH_TIMEOUT(!pill(), screenTimeout);
    QTest::qWait(350);
    photograph(u"8-other-window-active"_s);
    step("other window active: pill hidden");

    // The next start of the program, in the same home, opens on the launcher.
    ProcessGroup::stop(*program);
    program = &startProgram(home);
    QVERIFY(!QTest::currentTestFailed());
    // It has the installed version and asked the registry for the newest.
    QVERIFY(reach(u"Orvane 1.4.0 \u00B7 up to date"_s, u"9-second-run-launcher"_s));
    QCOMPARE(listedCommands(), commands);
    step("second run: launcher");

    QVERIFY2(m_total.elapsed() < 150'000, "the journey took more than two and a half minutes");
}

QTEST_GUILESS_MAIN(TestJourney)

#include "tst_journey.moc"

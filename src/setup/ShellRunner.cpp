#include "setup/ShellRunner.h"

#include "setup/Log.h"
#include "setup/OutputCollector.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTimer>

#include <cerrno>

#include <pwd.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace Setup {

namespace {

// `script` runs its -c string with $SHELL -c; it gets this shell, and the string puts the
// application's own SHELL back before the user's shell starts.
constexpr auto scriptInnerShell = "/bin/sh";

QString passwordDatabaseShell()
{
    const long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd *result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_shell && result->pw_shell[0] != '\0')
        return QString::fromLocal8Bit(result->pw_shell);
    return {};
}

// 0 when `program` (a path, or a name looked up in PATH) could be executed; else why not, as
// an errno value.
int whyNotStartable(const QString &program)
{
    const QString found = program.contains(QLatin1Char('/')) ? program
                                                             : QStandardPaths::findExecutable(program);
    if (found.isEmpty())
        return ENOENT;
    if (::access(QFile::encodeName(found).constData(), X_OK) != 0)
        return errno;
    return QFileInfo(found).isDir() ? EACCES : 0;
}

// Hands the outcome to the caller from its own event loop, so a completion never runs inside
// the call that started the operation.
template <typename T> void deliverLater(Completion<T> done, SetupResult<T> result)
{
    QTimer::singleShot(0, [done = std::move(done), result = std::move(result)]() mutable {
        done(std::move(result));
    });
}

using Outcome = std::expected<int, PlatformError>;
using ProcessFinished = std::function<void(Outcome, const OutputCollector &)>;

// Starts `program` with merged output and the null device as input. `finished` is called
// once, from the event loop, with the exit status (or the launch error) and the output.
// `command` names it in the log: argument lists hold no secrets (any user can read them in
// /proc; the answers travel in a private file).
void runCollecting(const QString &program, const QStringList &arguments,
                   const QProcessEnvironment &environment, const QString &command,
                   ProcessFinished finished, std::function<void(qint64)> started = {})
{
    // Owned by the application: a command still running when the program ends is ended with it.
    auto *process = new QProcess(QCoreApplication::instance());
    auto collector = std::make_shared<OutputCollector>();
    auto reported = std::make_shared<bool>(false);

    process->setProgram(program);
    process->setArguments(arguments);
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    // A session of its own: an interactive shell must not take over (or stop on) a terminal
    // the application may have been started from.
    process->setChildProcessModifier([] { ::setsid(); });

    QObject::connect(process, &QProcess::readyReadStandardOutput, process,
                     [process, collector] { collector->append(process->readAllStandardOutput()); });

    auto report = [process, collector, reported, finished = std::move(finished)](Outcome outcome) {
        if (*reported)
            return;
        *reported = true;
        // Detach the output handler; what is still buffered belongs to this call.
        QObject::disconnect(process, &QProcess::readyReadStandardOutput, nullptr, nullptr);
        collector->append(process->readAllStandardOutput());
        process->deleteLater();
        QTimer::singleShot(0, [finished, collector, outcome] { finished(outcome, *collector); });
    };

    QObject::connect(process, &QProcess::finished, process,
                     [report, command](int exitCode, QProcess::ExitStatus) {
                         qCDebug(lcSetup, "%s ended with status %d", qUtf8Printable(command),
                                 exitCode);
                         report(exitCode);
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, program, command, report](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         qCWarning(lcSetup, "Cannot start %s for %s: %s", qUtf8Printable(program),
                                   qUtf8Printable(command), qUtf8Printable(process->errorString()));
                         report(std::unexpected(PlatformError{QStringLiteral("launch"), program,
                                                              process->errorString()}));
                     });
    if (started)
        QObject::connect(process, &QProcess::started, process,
                         [process, started] { started(process->processId()); });
    qCDebug(lcSetup, "Starting %s through %s", qUtf8Printable(command), qUtf8Printable(program));
    process->start();
}

} // namespace

QString userShell()
{
    const QString fromEnvironment = qEnvironmentVariable("SHELL");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QString fromPasswordDatabase = passwordDatabaseShell();
    if (!fromPasswordDatabase.isEmpty())
        return fromPasswordDatabase;
    return QStringLiteral("/bin/sh");
}

QString shellQuote(const QString &argument)
{
    QString quoted = argument;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString commandString(const QStringList &arguments)
{
    QStringList quoted;
    quoted.reserve(arguments.size());
    for (const QString &argument : arguments)
        quoted.append(shellQuote(argument));
    return quoted.join(QLatin1Char(' '));
}

namespace {

// A non-zero status becomes exitedWithStatus with the cleaned output; status 0 completes with
// the output (login shell) or nothing (pseudo-terminal).
template <typename T> ProcessFinished completeWith(Completion<T> done)
{
    return [done = std::move(done)](Outcome outcome, const OutputCollector &output) {
        if (!outcome)
            done(std::unexpected(outcome.error()));
        else if (*outcome != 0)
            done(std::unexpected(SetupError::exitedWithStatus(*outcome, output.text())));
        else if constexpr (std::is_void_v<T>)
            done({});
        else
            done(output.text());
    };
}

} // namespace

void runInLoginShell(const QStringList &arguments, Completion<QString> done,
                     const QProcessEnvironment &environment)
{
    runCollecting(userShell(), {QStringLiteral("-ilc"), commandString(arguments)}, environment,
                  commandString(arguments), completeWith(std::move(done)));
}

void runViaPty(const QStringList &arguments, Completion<void> done,
               const QProcessEnvironment &environment, const QString &script,
               std::function<void(qint64)> started)
{
    if (!QFileInfo::exists(script)) {
        qCWarning(lcSetup, "Cannot run %s on a pseudo-terminal: %s is missing",
                  qUtf8Printable(commandString(arguments)), qUtf8Printable(script));
        deliverLater<void>(std::move(done), std::unexpected(SetupError::scriptMissing()));
        return;
    }

    // `script` would report a shell it cannot start as the inner shell's status 127 and its
    // complaint; the caller is owed the launch error the login-shell runner gives.
    const QString shell = userShell();
    if (const int error = whyNotStartable(shell)) {
        qCWarning(lcSetup, "Cannot start %s for %s: %s", qUtf8Printable(shell),
                  qUtf8Printable(commandString(arguments)), qUtf8Printable(qt_error_string(error)));
        deliverLater<void>(std::move(done), std::unexpected(PlatformError{
                                                QStringLiteral("launch"), shell, qt_error_string(error)}));
        return;
    }

    const QString shellSetting = environment.contains(QStringLiteral("SHELL"))
                                     ? QStringLiteral("export SHELL=") +
                                           shellQuote(environment.value(QStringLiteral("SHELL")))
                                     : QStringLiteral("unset SHELL");
    const QString inner = shellSetting + QStringLiteral("; exec ") + shellQuote(shell) +
                          QStringLiteral(" -ilc ") + shellQuote(commandString(arguments));

    QProcessEnvironment scriptEnvironment = environment;
    scriptEnvironment.insert(QStringLiteral("SHELL"), QLatin1String(scriptInnerShell));
    // -e: the command's status instead of always 0; /dev/null: no typescript is kept.
    runCollecting(script,
                  {QStringLiteral("-q"), QStringLiteral("-e"), QStringLiteral("-c"), inner,
                   QStringLiteral("/dev/null")},
                  scriptEnvironment, commandString(arguments), completeWith(std::move(done)),
                  std::move(started));
}

} // namespace Setup

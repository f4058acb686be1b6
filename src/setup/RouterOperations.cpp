#include "setup/RouterOperations.h"

#include "setup/Log.h"
#include "setup/ShellRunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <QUuid>

#include <cerrno>

namespace Setup {

namespace {

// npm draws a spinner on the pseudo-terminal and leaves one frame of it as the last line, where
// the wizard looks for the installer's own message. So these children alone do not inherit the
// environment unchanged: npm's progress output is turned off. Their argument lists stay as they
// are.
QProcessEnvironment npmEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("npm_config_progress"), QStringLiteral("false"));
    return environment;
}

QString newAnswersFilePath()
{
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return QDir(answersDirectory())
        .filePath(QLatin1String("orv_install_") + uuid + QLatin1String(".json"));
}

} // namespace

// QDir::tempPath() is empty when TMPDIR names a missing directory; the file must then fail to
// be written there rather than land in the working directory.
QString answersDirectory()
{
    const QString directory = QDir::tempPath();
    if (!directory.isEmpty())
        return directory;
    const QString configured = qEnvironmentVariable("TMPDIR");
    return configured.isEmpty() ? QStringLiteral("/tmp") : QDir::cleanPath(configured);
}

void runInstall(const InstallAnswers &answers, const QString &packageSpec, Completion<void> done,
                RunningInstalls *installs)
{
    const QString path = newAnswersFilePath();
    // Said apart from other write failures: the remedy is the folder, not another try.
    const QString directory = QFileInfo(path).path();
    const SetupResult<void> written =
        QFileInfo::exists(directory)
            ? writePrivateFile(path, answersJson(answers))
            : std::unexpected(PlatformError{QLatin1String(missingFolderOperation), directory,
                                            qt_error_string(ENOENT)});
    if (!written) {
        QTimer::singleShot(0, [done = std::move(done), written] { done(written); });
        return;
    }
    runViaPty({QStringLiteral("npx"), QStringLiteral("--yes"), packageSpec,
               QStringLiteral("install"), QStringLiteral("--config"), path,
               QStringLiteral("--yes")},
              [path, done = std::move(done), installs = QPointer(installs)](SetupResult<void> outcome) {
                  if (installs)
                      installs->finished(path);
                  // The answers may hold keys: a file left behind is worth a warning.
                  if (QFile file(path); !file.remove() && file.exists())
                      qCWarning(lcSetup, "Cannot remove the answers file %s: %s",
                                qUtf8Printable(path), qUtf8Printable(file.errorString()));
                  done(std::move(outcome));
              },
              npmEnvironment(), QLatin1String(scriptProgram),
              [path, installs = QPointer(installs)](qint64 pid) {
                  if (installs)
                      installs->started(path, pid);
              });
}

void runUpdate(const QString &packageSpec, Completion<void> done)
{
    runViaPty({QStringLiteral("npx"), QStringLiteral("--yes"), packageSpec,
               QStringLiteral("update"), QStringLiteral("--all")},
              std::move(done), npmEnvironment());
}

void runUninstall(const QString &packageSpec, Completion<void> done)
{
    runViaPty({QStringLiteral("npx"), QStringLiteral("--yes"), packageSpec,
               QStringLiteral("uninstall"), QStringLiteral("--all"), QStringLiteral("--yes")},
              std::move(done), npmEnvironment());
}

} // namespace Setup

#include "setup/RouterOperations.h"

#include "setup/ShellRunner.h"

#include <QDir>
#include <QFile>
#include <QTimer>
#include <QUuid>

namespace Setup {

namespace {

// QDir::tempPath() is empty when TMPDIR names a missing directory; the file must then fail to
// be written there rather than land in the working directory.
QString temporaryDirectory()
{
    const QString directory = QDir::tempPath();
    if (!directory.isEmpty())
        return directory;
    const QString configured = qEnvironmentVariable("TMPDIR");
    return configured.isEmpty() ? QStringLiteral("/tmp") : QDir::cleanPath(configured);
}

QString newAnswersFilePath()
{
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return QDir(temporaryDirectory())
        .filePath(QLatin1String("orv_install_") + uuid + QLatin1String(".json"));
}

} // namespace

void runInstall(const InstallAnswers &answers, const QString &packageSpec, Completion<void> done)
{
    const QString path = newAnswersFilePath();
    const SetupResult<void> written = writePrivateFile(path, answersJson(answers));
    if (!written) {
        QTimer::singleShot(0, [done = std::move(done), written] { done(written); });
        return;
    }
    runViaPty({QStringLiteral("npx"), QStringLiteral("--yes"), packageSpec,
               QStringLiteral("install"), QStringLiteral("--config"), path,
               QStringLiteral("--yes")},
              [path, done = std::move(done)](SetupResult<void> outcome) {
                  QFile::remove(path);
                  done(std::move(outcome));
              });
}

void runUpdate(const QString &packageSpec, Completion<void> done)
{
    runViaPty({QStringLiteral("npx"), QStringLiteral("--yes"), packageSpec,
               QStringLiteral("update"), QStringLiteral("--all")},
              std::move(done));
}

void runUninstall(const QString &packageSpec, Completion<void> done)
{
    runViaPty({QStringLiteral("npx"), QStringLiteral("--yes"), packageSpec,
               QStringLiteral("uninstall"), QStringLiteral("--all"), QStringLiteral("--yes")},
              std::move(done));
}

} // namespace Setup

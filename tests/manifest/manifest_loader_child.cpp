// Loads the bundled manifest the way the program does, so that a test can watch a damaged
// bundle end the process. Arguments: "load" or "bundled", then the resource folder to use.
#include "manifest/ManifestLoader.h"
#include "platform/Resources.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 2)
        Resources::setDirectoryOverride(arguments.at(2));
    if (arguments.value(1) == QLatin1String("bundled")) {
        const InstallManifest manifest = ManifestLoader::bundled();
        std::printf("%lld harnesses\n", static_cast<long long>(manifest.harnesses.size()));
    } else {
        const ManifestLoader::Resolved resolved = ManifestLoader::load();
        std::printf("%s\n", resolved.packageSpec.toUtf8().constData());
    }
    return 0;
}

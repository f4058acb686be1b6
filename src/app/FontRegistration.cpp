#include "app/FontRegistration.h"

#include "app/Log.h"
#include "platform/Resources.h"

#include <QFontDatabase>

namespace App {

namespace FontRegistration {

QStringList fontNames()
{
    return {QStringLiteral("Archivo-Regular"), QStringLiteral("Archivo-SemiBold"),
            QStringLiteral("Archivo-ExtraBold"), QStringLiteral("Archivo-Black")};
}

int registerFonts()
{
    int registered = 0;
    for (const QString &name : fontNames()) {
        const QString file = Platform::Resources::path(name, QStringLiteral("ttf"));
        if (file.isEmpty()) {
            qCWarning(lcApp) << "font" << name << "is missing from" << Platform::Resources::directory();
            continue;
        }
        if (QFontDatabase::addApplicationFont(file) >= 0)
            ++registered;
        else
            qCWarning(lcApp) << "font" << file << "could not be registered";
    }
    return registered;
}

} // namespace FontRegistration

} // namespace App

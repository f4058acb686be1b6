#include "overlay/SettingsOriginStore.h"

#include "overlay/Log.h"

#include <QSettings>
#include <QVariantMap>

#include <cmath>
#include <limits>

namespace Overlay {

namespace {

// A coordinate stored as a number; text, as a settings file edited by hand may hold, is not one.
std::optional<int> coordinate(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        break;
    default:
        return std::nullopt;
    }
    const double number = value.toDouble();
    if (!std::isfinite(number)
        || std::abs(number) > double(std::numeric_limits<int>::max() / 2))
        return std::nullopt;
    return int(std::floor(number));
}

} // namespace

SettingsOriginStore::SettingsOriginStore(QSettings &settings)
    : m_settings(settings)
{}

std::optional<QPoint> SettingsOriginStore::load() const
{
    const QVariant stored = m_settings.value(QLatin1String(key));
    if (!stored.isValid())
        return std::nullopt;
    const QVariantMap map = stored.toMap();
    const auto x = coordinate(map.value(QStringLiteral("x")));
    const auto y = coordinate(map.value(QStringLiteral("y")));
    if (stored.typeId() != QMetaType::QVariantMap || !x || !y) {
        // Overwritten at the next placement.
        qCWarning(lcOverlay, "The pill's saved place (%s in %s) is not two numbers x and y: ignored",
                  key, qUtf8Printable(m_settings.fileName()));
        return std::nullopt;
    }
    return QPoint(*x, *y);
}

void SettingsOriginStore::save(QPoint origin)
{
    m_settings.setValue(QLatin1String(key),
                        QVariantMap{{QStringLiteral("x"), origin.x()}, {QStringLiteral("y"), origin.y()}});
}

} // namespace Overlay

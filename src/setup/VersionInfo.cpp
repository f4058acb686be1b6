#include "setup/VersionInfo.h"

#include <QList>
#include <QStringList>

#include <charconv>

namespace Setup {

namespace {

// An optional sign, then one or more decimal digits and nothing else, within 64 bits.
std::optional<qint64> versionNumber(const QString &piece)
{
    const QByteArray latin = piece.toLatin1();
    const char *begin = latin.constData();
    const char *end = begin + latin.size();
    // from_chars takes a minus sign but no plus sign.
    if (begin != end && *begin == '+')
        ++begin;
    const char *digits =
        (begin != end && *begin == '-' && begin == latin.constData()) ? begin + 1 : begin;
    if (digits == end || *digits < '0' || *digits > '9')
        return std::nullopt;
    qint64 value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value, 10);
    if (error != std::errc{} || stop != end)
        return std::nullopt;
    return value;
}

QList<qint64> versionNumbers(const QString &version)
{
    QList<qint64> numbers;
    for (const QString &piece : version.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
        if (const auto number = versionNumber(piece))
            numbers.append(*number);
    }
    return numbers;
}

} // namespace

VersionOrder compareVersions(const QString &a, const QString &b)
{
    const QList<qint64> left = versionNumbers(a);
    const QList<qint64> right = versionNumbers(b);
    const qsizetype count = std::max(left.size(), right.size());
    for (qsizetype i = 0; i < count; ++i) {
        const qint64 x = i < left.size() ? left.at(i) : 0;
        const qint64 y = i < right.size() ? right.at(i) : 0;
        if (x < y)
            return VersionOrder::Ascending;
        if (x > y)
            return VersionOrder::Descending;
    }
    return VersionOrder::Same;
}

} // namespace Setup

#include "overlay/OverlayTexts.h"

#include <QLocale>
#include <QStringList>
#include <QTimeZone>

#include <cmath>
#include <cstdio>

namespace Overlay {

namespace {

// printf into a QString; the texts here are short, so a small buffer always suffices.
template <typename... Args> QString printfText(const char *format, Args... args)
{
    char buffer[64];
    const int length = std::snprintf(buffer, sizeof buffer, format, args...);
    if (length < 0)
        return {};
    return QString::fromUtf8(buffer, std::min<int>(length, sizeof buffer - 1));
}

} // namespace

double secondsSinceEpoch(std::chrono::system_clock::time_point time)
{
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

QString warmthText(std::optional<double> cacheExpiresAt, double nowSeconds)
{
    if (!cacheExpiresAt || !(*cacheExpiresAt > 0))
        return {};
    const double remaining = std::floor(*cacheExpiresAt - nowSeconds);
    // 2^63 is exactly representable; anything at or beyond it (or not a number) has no text.
    if (!std::isfinite(remaining) || remaining >= 9223372036854775808.0)
        return {};
    if (remaining < 1)
        return QStringLiteral("\u2744\uFE0F cold");
    const auto seconds = static_cast<long long>(remaining);
    return printfText("\xF0\x9F\x94\xA5 %lld:%02lld", seconds / 60, seconds % 60);
}

QString formatCount(std::int64_t count)
{
    if (count < 1000)
        return printfText("%lld", static_cast<long long>(count));
    if (count < 1000000)
        return printfText("%.1fk", static_cast<double>(count) / 1000.0);
    return printfText("%.1fM", static_cast<double>(count) / 1000000.0);
}

QString savingsText(std::optional<double> savingsPct)
{
    if (!savingsPct)
        return {};
    // A huge value prints hundreds of digits; the buffer keeps only the start, which is all
    // a one-line pill could show anyway.
    return printfText("%.0f%% saved", *savingsPct);
}

QString countersText(std::int64_t asksOpen, std::int64_t answersFresh)
{
    QStringList parts;
    if (asksOpen >= 1)
        parts << QStringLiteral("\U0001F4E8 ") + QString::number(asksOpen);
    if (answersFresh >= 1)
        parts << QStringLiteral("\U0001F4EC ") + QString::number(answersFresh);
    return parts.join(QLatin1Char(' '));
}

QString statusLine(const QString &harnessLabel, const QString &warmth, const QString &detail,
                   std::optional<double> savingsPct, std::int64_t asksOpen,
                   std::int64_t answersFresh)
{
    const QString parts[] = {harnessLabel, warmth.isEmpty() ? detail : warmth,
                             savingsText(savingsPct), countersText(asksOpen, answersFresh)};
    QStringList kept;
    for (const QString &part : parts)
        if (!part.isEmpty())
            kept << part;
    return kept.join(QStringLiteral(" \u00B7 "));
}

QString contextValueText(const Usage::TokenUsage &usage)
{
    const QString count = formatCount(usage.contextUsed);
    const std::optional<double> fraction = usage.contextFraction();
    if (!fraction)
        return count;
    const auto percent = static_cast<long long>(*fraction * 100.0);
    return count + QStringLiteral(" \u00B7 ") + printfText("%lld%%", percent);
}

QString quotaWindowLabel(std::int64_t windowMinutes)
{
    constexpr std::int64_t hour = 60, day = 24 * hour, week = 7 * day;
    if (windowMinutes == week)
        return QStringLiteral("Week");
    if (windowMinutes == day)
        return QStringLiteral("Day");
    if (windowMinutes % day == 0)
        return printfText("%lld d", static_cast<long long>(windowMinutes / day));
    if (windowMinutes % hour == 0)
        return printfText("%lld h", static_cast<long long>(windowMinutes / hour));
    return printfText("%lld min", static_cast<long long>(windowMinutes));
}

QString quotaValueText(double usedPercent, std::optional<std::int64_t> resetsAt,
                       const QDateTime &now)
{
    const QString percent = printfText("%lld%%", static_cast<long long>(usedPercent));
    if (!resetsAt || *resetsAt <= now.toSecsSinceEpoch())
        return percent;
    // English names whatever the locale, as every other text of the pill.
    const QLocale english = QLocale::c();
    const QDateTime reset = QDateTime::fromSecsSinceEpoch(*resetsAt).toTimeZone(now.timeZone());
    const qint64 days = now.date().daysTo(reset.date());
    const QString when = days == 0  ? english.toString(reset.time(), QStringLiteral("HH:mm"))
                         : days < 7 ? english.toString(reset.date(), QStringLiteral("ddd"))
                                    : english.toString(reset.date(), QStringLiteral("d MMM"));
    return percent + QStringLiteral(" \u00B7 resets ") + when;
}

} // namespace Overlay

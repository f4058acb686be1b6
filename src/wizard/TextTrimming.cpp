#include "wizard/TextTrimming.h"

namespace Wizard {

namespace {

bool isWhitespaceOrNewline(QChar c)
{
    switch (c.category()) {
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        break;
    }
    const char16_t u = c.unicode();
    return (u >= 0x0009 && u <= 0x000D) || u == 0x0085;
}

bool isSpaceOrTab(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

template <typename Predicate> QString trimBoth(const QString &text, Predicate drop)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && drop(text.at(begin)))
        ++begin;
    while (end > begin && drop(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

QString trimWhitespaceAndNewlines(const QString &text)
{
    return trimBoth(text, isWhitespaceOrNewline);
}

QString trimSpacesAndTabs(const QString &text)
{
    return trimBoth(text, isSpaceOrTab);
}

bool enterpriseFormCanContinue(const QString &gatewayUrl, const QString &email)
{
    return !trimSpacesAndTabs(gatewayUrl).isEmpty() &&
           trimSpacesAndTabs(email).contains(QLatin1Char('@'));
}

} // namespace Wizard

#include "setup/OutputCollector.h"

#include <QRegularExpression>

namespace Setup {

namespace {

const QRegularExpression &escapeSequences()
{
    static const QRegularExpression pattern{QChar(0x1B) + QStringLiteral("\\[[0-9;]*[a-zA-Z]|") +
                                            QChar(0x1B) + QStringLiteral("\\][^") + QChar(0x07) +
                                            QStringLiteral("]*") + QChar(0x07)};
    return pattern;
}

// What bash, dash and zsh say on their own when they start interactive without a terminal to
// control (as every child here does: it runs in a session of its own). Whole lines only.
const QRegularExpression &jobControlNotices()
{
    static const QRegularExpression pattern{
        QStringLiteral("^[^\\n:]+: (?:\\d+: )?(?:cannot set terminal process group \\(-?\\d+\\): "
                       "[^\\n]*|no job control in this shell\\.?|can't access tty; job control "
                       "turned off|can't set tty pgrp: [^\\n]*)\\r?(?:\\n|$)"),
        QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption};
    return pattern;
}

} // namespace

QString cleanOutput(const QByteArray &data)
{
    QString text = QString::fromUtf8(data);
    text.remove(escapeSequences());
    text.remove(jobControlNotices());
    return text.trimmed();
}

void OutputCollector::append(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    m_data.append(bytes);
}

QString OutputCollector::text() const
{
    return cleanOutput(m_data);
}

} // namespace Setup

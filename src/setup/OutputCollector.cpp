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

} // namespace

QString cleanOutput(const QByteArray &data)
{
    QString text = QString::fromUtf8(data);
    text.remove(escapeSequences());
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

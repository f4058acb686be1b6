#pragma once

#include <QByteArray>
#include <QString>

namespace Setup {

// Accumulates one child's merged output, appended by its output handler.
class OutputCollector
{
public:
    void append(const QByteArray &bytes);

    // Everything collected so far, decoded, stripped of terminal escapes and trimmed.
    QString text() const;

private:
    QByteArray m_data;
};

// UTF-8 with replacement characters, without colour/cursor sequences (ESC [ digits ; letter)
// and window-title sequences (ESC ] ... BEL) and the shells' own lines about job control,
// trimmed of white space at both ends.
QString cleanOutput(const QByteArray &data);

} // namespace Setup

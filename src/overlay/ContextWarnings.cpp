#include "overlay/ContextWarnings.h"

#include "overlay/Log.h"
#include "platform/Notifier.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace Overlay {

QList<int> ContextWarnings::thresholdsFrom(const QVariant &setting)
{
    if (!setting.isValid())
        return {80, 95};
    QList<int> thresholds;
    // QSettings gives a list for "80, 95" and a string for "80" (or an empty value).
    for (const QString &entry : setting.toStringList()) {
        bool ok = false;
        const int percent = entry.trimmed().toInt(&ok);
        if (ok && percent >= 1 && percent <= 100)
            thresholds.append(percent);
    }
    std::sort(thresholds.begin(), thresholds.end());
    thresholds.erase(std::unique(thresholds.begin(), thresholds.end()), thresholds.end());
    return thresholds;
}

ContextWarnings::ContextWarnings(Platform::Notifier *notifier, QList<int> thresholds)
    : m_notifier(notifier)
    , m_thresholds(std::move(thresholds))
{
    std::sort(m_thresholds.begin(), m_thresholds.end());
}

void ContextWarnings::update(const QByteArray &conversation, const QString &harnessLabel,
                             std::optional<double> fraction)
{
    // Whole percents, rounded down: the text never claims a threshold not yet reached. Without
    // a context window nothing is reached yet.
    const int percent = fraction ? int(std::floor(std::clamp(*fraction, 0.0, 1.0) * 100.0)) : 0;
    qsizetype reached = 0;
    while (reached < m_thresholds.size() && percent >= m_thresholds[reached])
        ++reached;
    if (conversation != m_conversation) {
        m_conversation = conversation;
        m_passed = reached;
        return;
    }
    if (reached <= m_passed)
        return;
    m_passed = reached;
    qCDebug(lcOverlay, "Context %d %% full: warning sent", percent);
    if (m_notifier)
        m_notifier->notify(
            QStringLiteral("%1 · context %2 % full").arg(harnessLabel).arg(percent),
            QStringLiteral("Near the model’s limit, older turns get summarised or dropped; a new "
                           "conversation starts with an empty context."));
}

} // namespace Overlay

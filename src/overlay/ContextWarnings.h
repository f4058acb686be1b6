#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace Platform {
class Notifier;
} // namespace Platform

namespace Overlay {

// Warns, through a desktop notification, that the current conversation's context is filling:
// when its fraction first reaches each threshold, at most once per threshold and conversation.
// A conversation first seen already past a threshold is not warned about it (nothing was
// crossed while it was followed); a fraction that jumps past several thresholds at once gives
// one notification.
class ContextWarnings
{
public:
    // The thresholds the setting "overlay.contextWarnings" gives: whole percentages from 1 to
    // 100 (a list, or one value); not set, 80 and 95; empty, none. Other entries are ignored.
    static QList<int> thresholdsFrom(const QVariant &setting);

    // NOTIFIER may be null (nothing is sent); it must outlive the warnings.
    ContextWarnings(Platform::Notifier *notifier, QList<int> thresholds);

    // The conversation's transcript, the harness's label and its context fraction now (none
    // without a context window).
    void update(const QByteArray &conversation, const QString &harnessLabel,
                std::optional<double> fraction);

private:
    Platform::Notifier *m_notifier;
    QList<int> m_thresholds; // ascending
    QByteArray m_conversation;
    qsizetype m_passed = 0; // thresholds of m_thresholds this conversation has reached
};

} // namespace Overlay

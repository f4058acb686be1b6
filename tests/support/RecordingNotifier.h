#pragma once

#include "platform/Notifier.h"

#include <QStringList>

// What the desktop was asked to show, as "summary|body"; the way there is the notifier's suite's.
struct RecordingNotifier final : Platform::Notifier
{
    QStringList lines;
    void notify(const QString &summary, const QString &body) override { lines << summary + u'|' + body; }
};

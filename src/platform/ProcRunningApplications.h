#pragma once

#include "platform/RunningApplications.h"

#include <QList>

namespace Platform {

// Running applications read from /proc: the current user's processes (same real uid) whose
// executable's file name is one of the names. Helper processes of multi-process applications
// (an argument starting with "--type=", as renderers and GPU processes have) are not the
// application and are left out, so quitting asks only the main process, which takes its
// helpers with it.
class ProcRunningApplications final : public RunningApplications
{
public:
    bool isRunning(const QStringList &names) const override;
    int terminate(const QStringList &names) override;

    // The process ids of the matching processes, in /proc's order.
    QList<qint64> processIds(const QStringList &names) const;
};

} // namespace Platform

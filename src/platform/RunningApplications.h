#pragma once

#include <QStringList>

namespace Platform {

// The applications the current user has running, looked up by name. The names are file
// names of the applications' executables, compared exactly and case-sensitively.
class RunningApplications
{
public:
    virtual ~RunningApplications() = default;

    // Whether any application of the current user runs under one of `names`.
    virtual bool isRunning(const QStringList &names) const = 0;

    // Sends every such application a normal terminate request without waiting for it to
    // quit; gives how many were sent one.
    virtual int terminate(const QStringList &names) = 0;
};

// The system's running applications. Stateless, so it may be used from any thread.
RunningApplications &runningApplications();

} // namespace Platform

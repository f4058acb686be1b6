#pragma once

#include "setup/SetupEngine.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

// A setup engine that does nothing by itself: every call is recorded, the synchronous ones
// answer from the fields below, and every asynchronous one waits until the test releases it.
// Releasing runs the operation's completion at once, from the test, which is how the real
// engine's completions arrive too (on the main thread, after the starting call returned).
class ScriptedSetupEngine final : public Setup::SetupEngine
{
public:
    struct Call
    {
        QString operation; // the member function's name: "nodeVersion", "runInstall", ...
        Setup::InstallAnswers answers = {};
        QString packageSpec = {};
        std::optional<Setup::DesktopLaunchMode> mode = {};
        std::optional<Setup::DesktopApp> app = {};
    };

    // What the synchronous questions answer.
    bool existingInstall = false;
    QList<Setup::ExistingHarness> existingHarnesses;
    QSet<Setup::DesktopApp> running;

    QList<Call> calls; // in order

    QStringList operations() const { return namesOf(calls); }
    // The last call of `operation`; a default Call when there was none.
    Call lastCall(const QString &operation) const
    {
        const qsizetype at = operations().lastIndexOf(operation);
        return at < 0 ? Call{} : calls.at(at);
    }
    int callCount(const QString &operation) const { return int(operations().count(operation)); }
    // The asynchronous operations still waiting, oldest first.
    QStringList pending() const { return namesOf(m_pending); }
    bool isPending(const QString &operation) const { return pending().contains(operation); }

    // Each release answers the oldest waiting call of that operation and tells whether there
    // was one; succeed and fail are for the operations that only succeed or fail.
    [[nodiscard]] bool releaseNodeVersion(std::optional<QString> version)
    {
        return release<NodeDone>(QStringLiteral("nodeVersion"), std::move(version));
    }
    [[nodiscard]] bool releaseVersionInfo(Setup::VersionInfo info)
    {
        return release<VersionsDone>(QStringLiteral("versionInfo"), std::move(info));
    }
    [[nodiscard]] bool succeed(const QString &operation)
    {
        return release<VoidDone>(operation, Setup::SetupResult<void>{});
    }
    [[nodiscard]] bool fail(const QString &operation, Setup::SetupFailure failure)
    {
        return release<VoidDone>(operation,
                                 Setup::SetupResult<void>(std::unexpected(std::move(failure))));
    }

    void nodeVersion(Setup::Completion<std::optional<QString>> done) override
    {
        wait("nodeVersion", std::move(done), {});
    }
    void versionInfo(Setup::Completion<Setup::VersionInfo> done) override
    {
        wait("versionInfo", std::move(done), {});
    }
    bool hasExistingInstall() override
    {
        record("hasExistingInstall", {});
        return existingInstall;
    }
    QList<Setup::ExistingHarness> readExistingHarnesses() override
    {
        record("readExistingHarnesses", {});
        return existingHarnesses;
    }
    void runInstall(const Setup::InstallAnswers &answers, const QString &packageSpec,
                    Setup::Completion<void> done) override
    {
        wait("runInstall", std::move(done), {{}, answers, packageSpec});
    }
    void runUpdate(const QString &packageSpec, Setup::Completion<void> done) override
    {
        wait("runUpdate", std::move(done), {{}, {}, packageSpec});
    }
    void runUninstall(const QString &packageSpec, Setup::Completion<void> done) override
    {
        wait("runUninstall", std::move(done), {{}, {}, packageSpec});
    }
    void launchClaudeDesktop(Setup::DesktopLaunchMode mode, Setup::Completion<void> done) override
    {
        wait("launchClaudeDesktop", std::move(done), {{}, {}, {}, mode});
    }
    void launchCodexDesktop(Setup::DesktopLaunchMode mode, Setup::Completion<void> done) override
    {
        wait("launchCodexDesktop", std::move(done), {{}, {}, {}, mode});
    }
    void launchOpenCodeDesktop(Setup::Completion<void> done) override
    {
        wait("launchOpenCodeDesktop", std::move(done), {});
    }
    void openTerminal(Setup::Completion<void> done) override
    {
        wait("openTerminal", std::move(done), {});
    }
    bool isDesktopAppRunning(Setup::DesktopApp app) override
    {
        record("isDesktopAppRunning", {{}, {}, {}, {}, app});
        return running.contains(app);
    }
    int terminateDesktopApp(Setup::DesktopApp app) override
    {
        record("terminateDesktopApp", {{}, {}, {}, {}, app});
        return running.contains(app) ? 1 : 0;
    }

private:
    using NodeDone = Setup::Completion<std::optional<QString>>;
    using VersionsDone = Setup::Completion<Setup::VersionInfo>;
    using VoidDone = Setup::Completion<void>;

    struct Pending
    {
        QString operation;
        std::variant<NodeDone, VersionsDone, VoidDone> done;
    };

    template <typename List> static QStringList namesOf(const List &list)
    {
        QStringList names;
        for (const auto &entry : list)
            names.append(entry.operation);
        return names;
    }
    void record(const char *operation, Call call)
    {
        call.operation = QString::fromLatin1(operation);
        calls.append(std::move(call));
    }
    template <typename Done> void wait(const char *operation, Done done, Call call)
    {
        record(operation, std::move(call));
        m_pending.append({calls.last().operation, std::move(done)});
    }
    template <typename Done, typename Result> bool release(const QString &operation, Result result)
    {
        for (qsizetype i = 0; i < m_pending.size(); ++i) {
            if (m_pending.at(i).operation != operation ||
                !std::holds_alternative<Done>(m_pending.at(i).done))
                continue;
            // Taken out first: the completion may start the same operation again.
            Done done = std::get<Done>(m_pending.takeAt(i).done);
            done(std::move(result));
            return true;
        }
        return false;
    }

    QList<Pending> m_pending;
};

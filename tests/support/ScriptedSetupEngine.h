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
    // One call, as the caller made it.
    struct Call
    {
        QString operation; // the member function's name: "nodeVersion", "runInstall", ...
        // Set by runInstall; by it, runUpdate and runUninstall; by the Claude and Codex launches;
        // by isDesktopAppRunning and terminateDesktopApp.
        Setup::InstallAnswers answers = {};
        QString packageSpec = {};
        std::optional<Setup::DesktopLaunchMode> mode = {};
        std::optional<Setup::DesktopApp> app = {};
    };

    // What the synchronous questions answer.
    bool existingInstall = false;
    QList<Setup::ExistingHarness> existingHarnesses;
    QSet<Setup::DesktopApp> running;

    // Every call so far, in order.
    QList<Call> calls;

    QStringList operations() const
    {
        QStringList names;
        for (const Call &call : calls)
            names.append(call.operation);
        return names;
    }
    // The last call of `operation`; a default Call when there was none.
    Call lastCall(const QString &operation) const
    {
        for (auto it = calls.crbegin(); it != calls.crend(); ++it)
            if (it->operation == operation)
                return *it;
        return {};
    }
    int callCount(const QString &operation) const { return int(operations().count(operation)); }

    // The asynchronous operations still waiting, oldest first.
    QStringList pending() const
    {
        QStringList names;
        for (const Pending &entry : m_pending)
            names.append(entry.operation);
        return names;
    }
    bool isPending(const QString &operation) const { return pending().contains(operation); }

    // Each release answers the oldest waiting call of that operation and tells whether there
    // was one.
    [[nodiscard]] bool releaseNodeVersion(std::optional<QString> version)
    {
        return release<NodeDone>(QStringLiteral("nodeVersion"), std::move(version));
    }
    [[nodiscard]] bool releaseVersionInfo(Setup::VersionInfo info)
    {
        return release<VersionsDone>(QStringLiteral("versionInfo"), std::move(info));
    }
    // For the operations that only succeed or fail (install, launches, openTerminal, ...).
    [[nodiscard]] bool succeed(const QString &operation)
    {
        return release<VoidDone>(operation, Setup::SetupResult<void>{});
    }
    [[nodiscard]] bool fail(const QString &operation, Setup::SetupFailure failure)
    {
        return release<VoidDone>(operation,
                                 Setup::SetupResult<void>(std::unexpected(std::move(failure))));
    }

    // --- Setup::SetupEngine ---

    void nodeVersion(Setup::Completion<std::optional<QString>> done) override
    {
        wait({QStringLiteral("nodeVersion")}, std::move(done));
    }
    void versionInfo(Setup::Completion<Setup::VersionInfo> done) override
    {
        wait({QStringLiteral("versionInfo")}, std::move(done));
    }
    bool hasExistingInstall() override
    {
        record({QStringLiteral("hasExistingInstall")});
        return existingInstall;
    }
    QList<Setup::ExistingHarness> readExistingHarnesses() override
    {
        record({QStringLiteral("readExistingHarnesses")});
        return existingHarnesses;
    }
    void runInstall(const Setup::InstallAnswers &answers, const QString &packageSpec,
                    Setup::Completion<void> done) override
    {
        wait({QStringLiteral("runInstall"), answers, packageSpec}, std::move(done));
    }
    void runUpdate(const QString &packageSpec, Setup::Completion<void> done) override
    {
        wait({QStringLiteral("runUpdate"), {}, packageSpec}, std::move(done));
    }
    void runUninstall(const QString &packageSpec, Setup::Completion<void> done) override
    {
        wait({QStringLiteral("runUninstall"), {}, packageSpec}, std::move(done));
    }
    void launchClaudeDesktop(Setup::DesktopLaunchMode mode, Setup::Completion<void> done) override
    {
        wait({QStringLiteral("launchClaudeDesktop"), {}, {}, mode}, std::move(done));
    }
    void launchCodexDesktop(Setup::DesktopLaunchMode mode, Setup::Completion<void> done) override
    {
        wait({QStringLiteral("launchCodexDesktop"), {}, {}, mode}, std::move(done));
    }
    void launchOpenCodeDesktop(Setup::Completion<void> done) override
    {
        wait({QStringLiteral("launchOpenCodeDesktop")}, std::move(done));
    }
    void openTerminal(Setup::Completion<void> done) override
    {
        wait({QStringLiteral("openTerminal")}, std::move(done));
    }
    bool isDesktopAppRunning(Setup::DesktopApp app) override
    {
        record({QStringLiteral("isDesktopAppRunning"), {}, {}, {}, app});
        return running.contains(app);
    }
    int terminateDesktopApp(Setup::DesktopApp app) override
    {
        record({QStringLiteral("terminateDesktopApp"), {}, {}, {}, app});
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

    void record(Call call) { calls.append(std::move(call)); }

    template <typename Done> void wait(Call call, Done done)
    {
        const QString operation = call.operation;
        record(std::move(call));
        m_pending.append({operation, std::move(done)});
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

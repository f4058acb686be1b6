#include "usage/TranscriptSource.h"

#include "usage/TranscriptRoots.h"

#include <algorithm>

namespace Usage {

namespace {

// The folder without trailing slashes ("/" stays "/" as an empty prefix).
std::string withoutTrailingSlashes(std::string folder)
{
    while (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    return folder;
}

// VALUE when the environment set it to an absolute path, else FALLBACK.
std::string place(const std::string &value, const std::string &fallback)
{
    return value.starts_with('/') ? withoutTrailingSlashes(value) : fallback;
}

} // namespace

TranscriptSource::TranscriptSource(std::string homeDirectory, const RootEnvironment &environment)
    : m_home(std::move(homeDirectory))
{
    const std::string home = withoutTrailingSlashes(m_home);
    const std::string claudeConfig = place(environment.claudeConfigDir, home + "/.claude");
    m_agentSessions = place(environment.configHome, home + "/.config") +
                      "/Claude/local-agent-mode-sessions";
    m_roots[std::size_t(TranscriptDialect::ClaudeCode)] = {claudeConfig + "/projects",
                                                            m_agentSessions};
    m_roots[std::size_t(TranscriptDialect::Codex)] = {home + "/.codex/sessions"};
}

TranscriptSource::~TranscriptSource() = default;

void TranscriptSource::setChangeHandler(ChangeHandler) {}

bool TranscriptSource::reportsChanges(const std::string &) const
{
    return false;
}

const std::vector<std::string> &TranscriptSource::roots(Manifest::KnownHarness harness) const
{
    return roots(dialectFor(harness));
}

const std::vector<std::string> &TranscriptSource::roots(TranscriptDialect dialect) const
{
    return m_roots[std::size_t(dialect)];
}

bool TranscriptSource::holds(const std::string &root, std::string_view path) const
{
    return root != m_agentSessions ||
           path.find("/.claude/projects/", root.size()) != std::string_view::npos;
}

bool TranscriptSource::reportsChangesOf(Manifest::KnownHarness harness) const
{
    const std::vector<std::string> &all = roots(harness);
    return std::all_of(all.begin(), all.end(),
                       [this](const std::string &root) { return reportsChanges(root); });
}

} // namespace Usage

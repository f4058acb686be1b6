#include "usage/TranscriptSource.h"

#include "usage/TranscriptRoots.h"


namespace Usage {

TranscriptSource::TranscriptSource(std::string homeDirectory)
    : m_home(std::move(homeDirectory))
{}

TranscriptSource::~TranscriptSource() = default;

void TranscriptSource::setChangeHandler(ChangeHandler) {}

bool TranscriptSource::reportsChanges(const std::string &) const
{
    return false;
}

std::optional<std::string> TranscriptSource::root(const QString &harnessId) const
{
    const auto dialect = dialectFor(harnessId);
    if (!dialect)
        return std::nullopt;
    return rootOf(*dialect);
}

std::string TranscriptSource::rootOf(TranscriptDialect dialect) const
{
    std::string path = m_home;
    if (!path.ends_with('/'))
        path += '/';
    path += transcriptFolder(dialect);
    return path;
}

} // namespace Usage

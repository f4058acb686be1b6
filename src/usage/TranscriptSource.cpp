#include "usage/TranscriptSource.h"

#include "usage/TranscriptRoots.h"

#include <QFile>

namespace Usage {

TranscriptSource::TranscriptSource(const QString &homeDirectory)
    : m_home(QFile::encodeName(homeDirectory).toStdString())
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

#include "usage/TranscriptRoots.h"

namespace Usage {

std::optional<TranscriptDialect> dialectFor(const QString &harnessId)
{
    if (harnessId == u"claude-code")
        return TranscriptDialect::ClaudeCode;
    if (harnessId == u"codex")
        return TranscriptDialect::Codex;
    return std::nullopt;
}

std::optional<QString> transcriptRoot(const QString &home, const QString &harnessId)
{
    const auto dialect = dialectFor(harnessId);
    if (!dialect)
        return std::nullopt;
    const QString base = home.endsWith(QLatin1Char('/')) ? home : home + QLatin1Char('/');
    return base + (*dialect == TranscriptDialect::ClaudeCode ? QStringLiteral(".claude/projects")
                                                             : QStringLiteral(".codex/sessions"));
}

} // namespace Usage

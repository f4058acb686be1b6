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

std::string_view transcriptFolder(TranscriptDialect dialect)
{
    return dialect == TranscriptDialect::ClaudeCode ? ".claude/projects" : ".codex/sessions";
}

} // namespace Usage

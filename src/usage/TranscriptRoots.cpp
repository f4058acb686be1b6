#include "usage/TranscriptRoots.h"

namespace Usage {

TranscriptDialect dialectFor(Manifest::KnownHarness harness)
{
    switch (harness) {
    case Manifest::KnownHarness::ClaudeCode:
        return TranscriptDialect::ClaudeCode;
    case Manifest::KnownHarness::Codex:
        return TranscriptDialect::Codex;
    }
    return TranscriptDialect::ClaudeCode;
}

std::string_view transcriptFolder(TranscriptDialect dialect)
{
    return dialect == TranscriptDialect::ClaudeCode ? ".claude/projects" : ".codex/sessions";
}

} // namespace Usage

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

RootEnvironment RootEnvironment::fromProcess()
{
    return RootEnvironment{qgetenv("CLAUDE_CONFIG_DIR").toStdString(),
                           qgetenv("XDG_CONFIG_HOME").toStdString()};
}

} // namespace Usage

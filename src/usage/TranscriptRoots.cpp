#include "usage/TranscriptRoots.h"

#include "manifest/KnownHarness.h"

namespace Usage {

std::optional<TranscriptDialect> dialectFor(const QString &harnessId)
{
    const auto known = Manifest::knownHarness(harnessId);
    if (!known)
        return std::nullopt;
    switch (*known) {
    case Manifest::KnownHarness::ClaudeCode:
        return TranscriptDialect::ClaudeCode;
    case Manifest::KnownHarness::Codex:
        return TranscriptDialect::Codex;
    }
    return std::nullopt;
}

RootEnvironment RootEnvironment::fromProcess()
{
    return RootEnvironment{qgetenv("CLAUDE_CONFIG_DIR").toStdString(),
                           qgetenv("XDG_CONFIG_HOME").toStdString()};
}

} // namespace Usage

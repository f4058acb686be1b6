#include "manifest/KnownHarness.h"

namespace Manifest {

QString harnessId(KnownHarness harness)
{
    switch (harness) {
    case KnownHarness::ClaudeCode:
        return QStringLiteral("claude-code");
    case KnownHarness::Codex:
        return QStringLiteral("codex");
    }
    return {};
}

std::optional<KnownHarness> knownHarness(QStringView id)
{
    for (const KnownHarness harness : knownHarnesses) {
        if (id == harnessId(harness))
            return harness;
    }
    return std::nullopt;
}

} // namespace Manifest

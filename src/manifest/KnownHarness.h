#pragma once

#include <QHashFunctions>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace Manifest {

// The harnesses this program knows by name: it reads their transcripts, follows their desktop
// applications and understands their installation records. Every other harness of the
// manifest is only its id.
enum class KnownHarness
{
    ClaudeCode,
    Codex
};

inline constexpr std::array<KnownHarness, 2> knownHarnesses{KnownHarness::ClaudeCode,
                                                            KnownHarness::Codex};

// The id the manifest, the router's records and the gateway spell it with.
QString harnessId(KnownHarness harness);

// The known harness with that id; none for any other.
std::optional<KnownHarness> knownHarness(QStringView id);

inline size_t qHash(KnownHarness harness, size_t seed = 0) noexcept
{
    return ::qHash(int(harness), seed);
}

} // namespace Manifest

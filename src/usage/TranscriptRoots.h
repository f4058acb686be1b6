#pragma once

#include "manifest/KnownHarness.h"

#include <array>
#include <string_view>

namespace Usage {

// The two transcript formats this program reads.
enum class TranscriptDialect
{
    ClaudeCode,
    Codex
};

constexpr std::array<TranscriptDialect, 2> allDialects{TranscriptDialect::ClaudeCode,
                                                       TranscriptDialect::Codex};

// The format a harness writes its transcripts in.
TranscriptDialect dialectFor(Manifest::KnownHarness harness);

// The folder below the home directory that holds a dialect's transcripts.
std::string_view transcriptFolder(TranscriptDialect dialect);

} // namespace Usage

#pragma once

#include <QString>

#include <array>
#include <optional>
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

std::optional<TranscriptDialect> dialectFor(const QString &harnessId);

// The folder below the home directory that holds a dialect's transcripts.
std::string_view transcriptFolder(TranscriptDialect dialect);

} // namespace Usage

#pragma once

#include <QString>

#include <optional>

namespace Usage {

// The two transcript formats this program reads.
enum class TranscriptDialect
{
    ClaudeCode,
    Codex
};

std::optional<TranscriptDialect> dialectFor(const QString &harnessId);

// The folder below HOME that holds a harness's transcripts, or none for other harnesses.
std::optional<QString> transcriptRoot(const QString &home, const QString &harnessId);

} // namespace Usage

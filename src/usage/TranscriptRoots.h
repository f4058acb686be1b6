#pragma once

#include "manifest/KnownHarness.h"

#include <array>
#include <string>
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

// What moves the transcript roots away from the home directory, as the environment holds it
// (bytes): CLAUDE_CONFIG_DIR takes the place of ~/.claude, as it does for Claude Code itself,
// and XDG_CONFIG_HOME that of ~/.config, where Claude Desktop keeps its agent sessions. An
// empty or relative value is not used: it names no place this program can know.
struct RootEnvironment
{
    std::string claudeConfigDir;
    std::string configHome;

    static RootEnvironment fromProcess();
};

} // namespace Usage

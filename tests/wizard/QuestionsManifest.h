#pragma once

// The manifest the headless wizard tests share, and their shorthands for rows.

#include "manifest/ManifestLoader.h"
#include "setup/ExistingInstallations.h"

#include <QStringList>

namespace QuestionsManifest {

// claude: three options, only the third a "-proxy", two asking for "region"; openai's third
// option is its "-proxy", its second has "&" in its name; empty: no options at all. "aider"
// names a group that does not exist and has no command, "plain" has no group. The group key
// "claude" differs from its config key "anthropic". "shared" (of "mixer") asks for "region" as
// well. claude-code is found where ~/.claude exists, codex where ~/.codex/config.toml does.
inline const char *const json = R"({
  "schema_version": 1,
  "default_harness_ids": ["claude-code", "codex"],
  "harnesses": [
    {"id": "claude-code", "name": "Claude Code", "config_paths": ["~/.claude"], "orv_command": "orv claude", "funding_group": "claude"},
    {"id": "codex", "name": "Codex", "config_paths": ["~/.codex/config.toml"], "orv_command": "orv codex", "funding_group": "openai"},
    {"id": "opencode", "name": "OpenCode", "config_paths": [], "orv_command": "orv opencode", "funding_group": "openai"},
    {"id": "aider", "name": "Aider", "config_paths": [], "funding_group": "ghost"},
    {"id": "plain", "name": "Plain", "config_paths": [], "orv_command": "orv plain"},
    {"id": "lonely", "name": "Lonely", "config_paths": [], "funding_group": "empty"},
    {"id": "mixer", "name": "Mixer", "config_paths": [], "funding_group": "shared"}
  ],
  "funding_groups": {
    "claude": {"config_key": "anthropic", "title": "Claude", "options": [
      {"id": "subscription", "name": "Subscription", "fields": []},
      {"id": "apikey", "name": "API key", "fields": [
        {"config_key": "anthropicApiKey", "label": "Anthropic API key", "secret": true, "prefix": "sk-ant-"},
        {"config_key": "region", "label": "Region", "secret": false}]},
      {"id": "claude-proxy", "name": "Proxy", "fields": [
        {"config_key": "proxyUrl", "label": "Proxy URL", "secret": false, "requires_https": true},
        {"config_key": "region", "label": "Region", "secret": false}]}]},
    "openai": {"config_key": "openai", "title": "OpenAI", "options": [
      {"id": "openai", "name": "OpenAI key", "fields": [
        {"config_key": "openaiKey", "label": "OpenAI API key", "secret": true, "prefix": "sk-"}]},
      {"id": "openrouter", "name": "OpenRouter & co", "fields": []},
      {"id": "openai-proxy", "name": "Gateway", "fields": []}]},
    "empty": {"config_key": "empty", "title": "Nothing", "options": []},
    "shared": {"config_key": "shared", "title": "Shared", "options": [
      {"id": "regional", "name": "Regional", "fields": [
        {"config_key": "region", "label": "Region", "secret": false}]}]}
  },
  "advanced": {"title": "Advanced", "description": "", "fields": []}
})";

inline Manifest::InstallManifest manifest()
{
    auto manifest = Manifest::ManifestLoader::decode(QByteArray(json));
    if (!manifest)
        qFatal("the test manifest does not decode");
    return *manifest;
}

// "a,b,c" as the list {a, b, c}; "" as the empty list.
inline QStringList listOf(const char *text, char16_t separator = u',')
{
    return QString::fromUtf8(text).split(separator, Qt::SkipEmptyParts);
}

// "codex:openrouter" is a harness with a recorded funding, "codex" one without.
inline QList<Setup::ExistingHarness> existingFrom(const QStringList &entries)
{
    QList<Setup::ExistingHarness> existing;
    for (const QString &entry : entries)
        existing.append({entry.section(u':', 0, 0),
                         entry.contains(u':') ? std::optional(entry.section(u':', 1)) : std::nullopt});
    return existing;
}

} // namespace QuestionsManifest

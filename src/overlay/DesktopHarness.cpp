#include "overlay/DesktopHarness.h"

#include <QStringList>

#include <array>

namespace Overlay {

namespace {

struct Row
{
    Manifest::KnownHarness harness;
    const char *label;
    const char *surface;
    QStringList classes;  // WM_CLASS instance or class names, Wayland app_ids, application ids
    QStringList programs; // program names behind the window's process
};

const std::array<Row, 2> &table()
{
    // The Linux builds of both desktop applications ship under these window classes, app_ids
    // and program names: Claude Desktop's own build as com.anthropic.Claude (native on Wayland),
    // the community builds as claude-desktop or Claude; the ChatGPT app that carries Codex as
    // chatgpt, on XWayland or native.
    static const std::array<Row, 2> rows{{
        {Manifest::KnownHarness::ClaudeCode, "Claude", "claude-desktop",
         {QStringLiteral("com.anthropic.claude"), QStringLiteral("com.anthropic.claudefordesktop"),
          QStringLiteral("claude-desktop"), QStringLiteral("claude")},
         {QStringLiteral("claude-desktop")}},
        {Manifest::KnownHarness::Codex, "Codex", "codex-desktop",
         {QStringLiteral("com.openai.codex"), QStringLiteral("codex-desktop"),
          QStringLiteral("codex"), QStringLiteral("chatgpt")},
         {QStringLiteral("codex-desktop"), QStringLiteral("ChatGPT")}},
    }};
    return rows;
}

DesktopHarness harness(const Row &row)
{
    return {row.harness, QString::fromLatin1(row.label),
            QString::fromLatin1(row.surface)};
}

} // namespace

std::optional<DesktopHarness>
DesktopHarness::forWindow(const Platform::ActiveWindow &window,
                          const std::function<QString(std::int64_t)> &executableName)
{
    for (const Row &row : table()) {
        for (const QString &name : {window.instanceName, window.className, window.appId})
            if (!name.isEmpty() && row.classes.contains(name, Qt::CaseInsensitive))
                return harness(row);
    }
    if (!window.pid || !executableName)
        return std::nullopt;
    const QString program = executableName(*window.pid);
    if (program.isEmpty())
        return std::nullopt;
    for (const Row &row : table()) {
        if (row.programs.contains(program, Qt::CaseInsensitive))
            return harness(row);
    }
    return std::nullopt;
}

} // namespace Overlay

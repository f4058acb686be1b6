#pragma once

#include "platform/ActiveWindowMonitor.h"
#include "support/ProcessGroup.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// A headless Wayland compositor with XWayland for one test program, and what a test does
// through it. Every compositor runs in a runtime folder of its own; its programs see none of
// the developer's own session.
class CompositorSession : public ProcessGroup
{
public:
    static constexpr int kWidth = 1280;
    static constexpr int kHeight = 800;

    // Starts the compositor: empty, or why it cannot run here (the suite then skips).
    virtual QString start() = 0;
    // Gives the focus to the window titled `title` through the compositor's own means.
    virtual bool focus(const QString &title) = 0;
    // The whole output; null when the compositor would not give it.
    virtual QImage screenshot() = 0;
    // The active-window monitor a session of this desktop calls for, connected to it.
    virtual std::unique_ptr<Platform::ActiveWindowMonitor> monitor() = 0;

    QString runtimePath(const QString &name = {}) const
    {
        return name.isEmpty() ? m_runtime.path() : m_runtime.filePath(name);
    }

protected:
    // The environment of the compositor and its clients: this folder for the runtime files,
    // `desktop` as the desktop's name, and nothing of the developer's own session.
    void prepare(const QString &desktop)
    {
        QFile(m_runtime.path())
            .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "QT_QPA_PLATFORM",
                                 "DBUS_SESSION_BUS_ADDRESS", "SWAYSOCK", "XDG_SESSION_TYPE"})
            m_environment.remove(QString::fromLatin1(name));
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        m_environment.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), desktop);
    }

    // The compositor has started: its clients find it (and its XWayland) from here on.
    void started(const QString &waylandDisplay, const QString &display)
    {
        m_environment.insert(QStringLiteral("WAYLAND_DISPLAY"), waylandDisplay);
        m_environment.insert(QStringLiteral("DISPLAY"), display);
        m_environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    }

    QTemporaryDir m_runtime;
};

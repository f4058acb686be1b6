#pragma once

#include "setup/DesktopApp.h"
#include "setup/VersionInfo.h"
#include "wizard/LauncherRow.h"
#include "wizard/ui/LauncherServices.h"

#include <QList>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

namespace Design {
class FlatButton;
}
class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace Platform {
class TimerHandle;
}

namespace Wizard {

class ClaudeDesktopNotice;
class CommandCard;
class LauncherRowView;

// The returning user's screen: one row per router command of their tools, to copy the
// command, open a terminal for it or start the agent's desktop application; the router's
// version with its update, and uninstalling. It keeps only presentation state (the copy
// mark, the command card, the Claude Desktop notice, the pending launch) and asks for every
// action through its signals.
class LaunchedView : public QWidget
{
    Q_OBJECT

public:
    explicit LaunchedView(const LauncherServices &services, QWidget *parent = nullptr);
    ~LaunchedView() override;

    void setCommands(const QStringList &commands);
    void setVersionInfo(const Setup::VersionInfo &info);
    // A desktop launch is under way: the rows' terminal and launch buttons wait.
    void setBusy(bool busy);
    // The last launch's failure, shown under the rows; empty hides it.
    void setErrorText(const QString &text);
    // "Quit" in the footer, for desktops without a tray to quit from.
    void setQuitShown(bool shown);

    QList<LauncherRow> rows() const;
    std::optional<QString> copiedCommand() const { return m_copiedCommand; }
    std::optional<QString> terminalCommandNotice() const { return m_terminalCommandNotice; }
    bool isClaudeNoticeShown() const;

    QSize sizeHint() const override { return {720, 560}; }

    // The settings key that remembers "Don’t show again" across starts.
    static QString noticeDismissedKey();

Q_SIGNALS:
    void settingsRequested();
    void updateRequested();
    void uninstallRequested();
    // The command is already on the clipboard and the card shows it for two seconds; the
    // receiver opens the terminal when they are up, also if this screen is gone by then.
    void terminalRequested(const QString &command);
    void claudeLaunchRequested(bool relaunch);
    void codexLaunchRequested(bool relaunch);
    void openCodeLaunchRequested();
    void quitRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildHeader(QVBoxLayout *column);
    void buildAgents(QVBoxLayout *column);
    void buildFooter(QVBoxLayout *column);
    void updateTabOrder();

    void copyCommand(const QString &command);
    void openInTerminal(const QString &command);
    void putOnClipboard(const QString &command);
    void clearTerminalNotice();
    void launchRow(const LauncherRow &row);
    void beginLaunch(Setup::DesktopApp app);
    void finishLaunch(bool relaunch);
    void confirmUninstall();
    bool noticeDismissed() const;
    void dismissNotice();
    void openFromNotice();

    LauncherServices m_services;

    QStringList m_commands;
    Setup::VersionInfo m_versionInfo;
    bool m_busy = false;

    // Presentation state, fresh for every launcher screen.
    std::optional<QString> m_copiedCommand;
    std::optional<QString> m_terminalCommandNotice;
    std::optional<Setup::DesktopApp> m_pendingApp;
    bool m_showUninstallConfirmation = false;
    bool m_showAlreadyOpen = false;
    std::vector<std::unique_ptr<Platform::TimerHandle>> m_cardTimers;

    Design::FlatButton *m_settings = nullptr;
    QScrollArea *m_rowsArea = nullptr;
    QVBoxLayout *m_rowsLayout = nullptr;
    QList<LauncherRowView *> m_rowViews;
    QLabel *m_error = nullptr;
    QLabel *m_version = nullptr;
    Design::FlatButton *m_update = nullptr;
    Design::FlatButton *m_uninstall = nullptr;
    Design::FlatButton *m_quit = nullptr;
    CommandCard *m_card = nullptr;
    ClaudeDesktopNotice *m_notice = nullptr;
};

} // namespace Wizard

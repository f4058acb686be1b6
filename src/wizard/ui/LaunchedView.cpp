#include "wizard/ui/LaunchedView.h"

#include "design/AppMark.h"
#include "design/Design.h"
#include "design/FlatButton.h"
#include "platform/Timers.h"
#include "wizard/ui/ClaudeDesktopNotice.h"
#include "wizard/ui/CommandCard.h"
#include "wizard/ui/LauncherRowView.h"
#include "wizard/ui/MessageBox.h"
#include "wizard/ui/ScreenParts.h"

#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QVBoxLayout>

#include <chrono>

namespace Wizard {

namespace {

using namespace std::chrono_literals;

// How long the command card stays up while the terminal is being opened.
constexpr auto commandCardTime = 2s;

} // namespace

LaunchedView::LaunchedView(const LauncherServices &services, QWidget *parent)
    : QWidget(parent)
    , m_services(services)
{
    setObjectName(QStringLiteral("launchedView"));
    setFont(Design::archivo(15));

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    buildHeader(column);
    column->addWidget(makeRule(2, Design::line(), this));
    buildAgents(column);
    buildFooter(column);

    m_card = new CommandCard(this);
    m_card->hide();
    m_notice = new ClaudeDesktopNotice(this);
    connect(m_notice, &ClaudeDesktopNotice::openAnywayClicked, this, [this] { openFromNotice(); });
    connect(m_notice, &ClaudeDesktopNotice::cancelClicked, this, [this] { m_notice->hide(); });
    connect(m_notice, &ClaudeDesktopNotice::dontShowAgainClicked, this, [this] {
        dismissNotice();
        openFromNotice();
    });

    setVersionInfo({});
    setErrorText({});
    setQuitShown(services.hasTray && !services.hasTray());
}

LaunchedView::~LaunchedView() = default;

QString LaunchedView::noticeDismissedKey()
{
    return QStringLiteral("orvane.claudeDesktopNoticeDismissed");
}

void LaunchedView::buildHeader(QVBoxLayout *column)
{
    auto *header = new QHBoxLayout;
    header->setContentsMargins(44, 20, 44, 20);
    header->setSpacing(0);
    auto *mark = new Design::AppMark(this);
    mark->setFixedSize(25, 25);
    header->addWidget(mark, 0, Qt::AlignVCenter);
    header->addSpacing(9);
    header->addWidget(makeLabel(QStringLiteral("ORVANE"),
                                Design::archivo(12, Design::Weight::Bold, 2), Design::ink(), this),
                      0, Qt::AlignVCenter);
    header->addStretch(1);
    m_settings = makeLinkButton(QStringLiteral("Settings"), Design::archivo(15), this);
    m_settings->setObjectName(QStringLiteral("settings"));
    header->addWidget(m_settings, 0, Qt::AlignVCenter);
    column->addLayout(header);
    connect(m_settings, &Design::FlatButton::clicked, this, &LaunchedView::settingsRequested);
}

void LaunchedView::buildAgents(QVBoxLayout *column)
{
    auto *agents = new QVBoxLayout;
    agents->setContentsMargins(44, 31, 44, 0);
    agents->setSpacing(0);
    auto *heading =
        makeLabel(QStringLiteral("Start an agent"),
                  Design::archivo(46, Design::Weight::Black, -1.8), Design::ink(), this);
    heading->setObjectName(QStringLiteral("heading"));
    agents->addWidget(heading);
    agents->addSpacing(24);
    agents->addWidget(makeRule(2, Design::line(), this));
    column->addLayout(agents);

    // Rows keep their height: more of them than the window holds scroll instead of squeezing.
    // The area spans the window so that its thin bar runs in the right margin, not over rows.
    auto *scroll = m_rowsArea = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("rowsArea"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    // The rows take the keyboard, not the area around them.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { width: 6px; background: transparent; margin: 0; }"
                       "QScrollBar::handle:vertical { background: %1; border-radius: 3px;"
                       " min-height: 24px; }"
                       "QScrollBar::add-line, QScrollBar::sub-line { height: 0; }"
                       "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
            .arg(Design::line().name()));
    auto *content = new QWidget(scroll);
    auto *rows = new QVBoxLayout(content);
    rows->setContentsMargins(44, 0, 44, 0);
    rows->setSpacing(0);
    // The bar takes its width from the right margin, so the rows still end under the rule.
    const int barWidth = scroll->verticalScrollBar()->sizeHint().width();
    connect(scroll->verticalScrollBar(), &QScrollBar::rangeChanged, content,
            [rows, barWidth](int, int maximum) {
                rows->setContentsMargins(44, 0, maximum > 0 ? 44 - barWidth : 44, 0);
            });
    m_rowsLayout = new QVBoxLayout;
    m_rowsLayout->setSpacing(0);
    rows->addLayout(m_rowsLayout);

    // The last launch's failure; the flow clears it when the next launch starts.
    m_error = makeLabel({}, Design::archivo(12), Design::red(), content);
    m_error->setObjectName(QStringLiteral("error"));
    m_error->setWordWrap(true);
    m_error->setContentsMargins(0, 12, 0, 0);
    rows->addWidget(m_error);
    // What the session lacks for the usage pill, with the command that gives it: selectable,
    // so that the command can be copied into a terminal.
    const QString notice = m_services.sessionNotice ? m_services.sessionNotice() : QString();
    auto *sessionNotice = makeLabel(notice, Design::archivo(12), Design::muted(), content);
    sessionNotice->setObjectName(QStringLiteral("sessionNotice"));
    sessionNotice->setWordWrap(true);
    sessionNotice->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    sessionNotice->setContentsMargins(0, 12, 0, 0);
    sessionNotice->setVisible(!notice.isEmpty());
    rows->addWidget(sessionNotice);
    rows->addStretch(1);
    scroll->setWidget(content);
    content->setAutoFillBackground(false); // setWidget turned it on; the paper shows through
    column->addWidget(scroll, 1);
}

void LaunchedView::buildFooter(QVBoxLayout *column)
{
    column->addWidget(makeRule(2, Design::line(), this));
    auto *footer = new QHBoxLayout;
    footer->setContentsMargins(40, 18, 40, 18);
    footer->setSpacing(16);
    const QFont font = Design::archivo(12);
    m_version = makeLabel({}, font, Design::muted(), this);
    m_version->setObjectName(QStringLiteral("version"));
    footer->addWidget(m_version, 0, Qt::AlignVCenter);
    footer->addStretch(1);
    m_update = makeLinkButton({}, font, this);
    m_update->setObjectName(QStringLiteral("update"));
    footer->addWidget(m_update, 0, Qt::AlignVCenter);
    m_uninstall = makeLinkButton(QStringLiteral("Uninstall"), font, this);
    m_uninstall->setObjectName(QStringLiteral("uninstall"));
    footer->addWidget(m_uninstall, 0, Qt::AlignVCenter);
    m_quit = makeLinkButton(QStringLiteral("Quit"), font, this);
    m_quit->setObjectName(QStringLiteral("quit"));
    footer->addWidget(m_quit, 0, Qt::AlignVCenter);
    column->addLayout(footer);
    connect(m_update, &Design::FlatButton::clicked, this, &LaunchedView::updateRequested);
    connect(m_uninstall, &Design::FlatButton::clicked, this, [this] { confirmUninstall(); });
    connect(m_quit, &Design::FlatButton::clicked, this, &LaunchedView::quitRequested);
}

void LaunchedView::setCommands(const QStringList &commands)
{
    m_commands = commands;
    qDeleteAll(m_rowViews);
    m_rowViews.clear();
    for (const LauncherRow &row : launcherRows(commands)) {
        auto *view = new LauncherRowView(row, this);
        view->setBusy(m_busy);
        view->setCopied(m_copiedCommand == row.command);
        m_rowsLayout->addWidget(view);
        m_rowViews.append(view);
        connect(view, &LauncherRowView::copyClicked, this,
                [this, command = row.command] { copyCommand(command); });
        connect(view, &LauncherRowView::terminalClicked, this,
                [this, command = row.command] { openInTerminal(command); });
        connect(view, &LauncherRowView::launchClicked, this,
                [this, row] { launchRow(row); });
    }
    updateTabOrder();
}

// Rows are built after the footer, so the keyboard order is set by hand: header, rows, footer.
// The keyboard starts on the first row's "Launch App", else on "Settings".
void LaunchedView::updateTabOrder()
{
    QList<QWidget *> chain{m_settings};
    for (LauncherRowView *view : m_rowViews)
        for (QWidget *child : view->findChildren<QWidget *>())
            if (child->focusPolicy() & Qt::TabFocus)
                chain.append(child);
    chain << m_update << m_uninstall << m_quit;
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
    QWidget *first = m_rowViews.isEmpty()
                         ? static_cast<QWidget *>(m_settings)
                         : m_rowViews.first()->findChild<QWidget *>(QStringLiteral("launchApp"));
    setFocusProxy(first);
}

void LaunchedView::setVersionInfo(const Setup::VersionInfo &info)
{
    m_versionInfo = info;
    m_version->setText(versionLine(info));
    m_update->setText(updateButtonText(info));
    m_update->setFixedWidth(m_update->sizeHint().width());
    m_update->setVisible(info.updateAvailable());
}

void LaunchedView::setQuitShown(bool shown)
{
    m_quit->setVisible(shown);
}

void LaunchedView::setBusy(bool busy)
{
    m_busy = busy;
    for (LauncherRowView *view : m_rowViews)
        view->setBusy(busy);
}

void LaunchedView::setErrorText(const QString &text)
{
    m_error->setText(text);
    m_error->setVisible(!text.isEmpty());
    if (!text.isEmpty())
        m_rowsArea->ensureWidgetVisible(m_error);
}

QList<LauncherRow> LaunchedView::rows() const
{
    QList<LauncherRow> result;
    for (const LauncherRowView *view : m_rowViews)
        result.append(view->row());
    return result;
}

bool LaunchedView::isClaudeNoticeShown() const
{
    return m_notice->isVisible();
}

void LaunchedView::putOnClipboard(const QString &command)
{
    QClipboard *clipboard = m_services.clipboard;
    if (!clipboard)
        return;
    clipboard->clear(QClipboard::Clipboard);
    clipboard->setText(command, QClipboard::Clipboard);
    // Where there is a selection, a middle click pastes the command too.
    if (clipboard->supportsSelection())
        clipboard->setText(command, QClipboard::Selection);
}

void LaunchedView::copyCommand(const QString &command)
{
    putOnClipboard(command);
    m_copiedCommand = command;
    for (LauncherRowView *view : m_rowViews)
        view->setCopied(view->row().command == command);
}

void LaunchedView::openInTerminal(const QString &command)
{
    putOnClipboard(command);
    m_terminalCommandNotice = command;
    m_card->setCommand(command);
    m_card->move((width() - m_card->width()) / 2, (height() - m_card->height()) / 2);
    m_card->show();
    m_card->raise();
    if (m_notice->isVisible())
        m_notice->raise();

    // The receiver schedules the terminal first, so that when both are due the terminal is
    // asked for before the card goes.
    Q_EMIT terminalRequested(command);
    std::erase_if(m_cardTimers, [](const auto &timer) { return !timer->isActive(); });
    // Each click clears the card when its own two seconds are up, so the earlier of two quick
    // clicks is the one that takes it away.
    if (m_services.timers)
        m_cardTimers.push_back(
            m_services.timers->singleShot(commandCardTime, [this] { clearTerminalNotice(); }));
}

void LaunchedView::clearTerminalNotice()
{
    m_terminalCommandNotice.reset();
    m_card->hide();
}

void LaunchedView::launchRow(const LauncherRow &row)
{
    if (row.code == QLatin1String("CC")) {
        if (!noticeDismissed()) {
            m_notice->present();
            return;
        }
        beginLaunch(Setup::DesktopApp::Claude);
    } else if (row.code == QLatin1String("CX")) {
        beginLaunch(Setup::DesktopApp::Codex);
    } else {
        beginLaunch(Setup::DesktopApp::OpenCode);
    }
}

void LaunchedView::openFromNotice()
{
    m_notice->hide();
    beginLaunch(Setup::DesktopApp::Claude);
}

void LaunchedView::beginLaunch(Setup::DesktopApp app)
{
    m_pendingApp = app;
    const bool running = m_services.isDesktopAppRunning && m_services.isDesktopAppRunning(app);
    if (!running) {
        finishLaunch(false);
        return;
    }
    m_showAlreadyOpen = true;
    const MessageBox::Alert alert{
        QStringLiteral("App is already open"),
        QStringLiteral("Close the app first if you want Orvane to relaunch it in Gateway mode."),
        QStringLiteral("Close and relaunch"), MessageBox::Kind::Normal};
    m_services.ask(this, alert, [this](MessageBox::Answer answer) {
        m_showAlreadyOpen = false;
        if (answer == MessageBox::Answer::Confirm)
            finishLaunch(true);
        else
            m_pendingApp.reset();
    });
}

void LaunchedView::finishLaunch(bool relaunch)
{
    const std::optional<Setup::DesktopApp> app = std::exchange(m_pendingApp, std::nullopt);
    if (!app)
        return;
    switch (*app) {
    case Setup::DesktopApp::Claude:
        Q_EMIT claudeLaunchRequested(relaunch);
        break;
    case Setup::DesktopApp::Codex:
        Q_EMIT codexLaunchRequested(relaunch);
        break;
    case Setup::DesktopApp::OpenCode:
        // OpenCode is never quit first.
        Q_EMIT openCodeLaunchRequested();
        break;
    }
}

void LaunchedView::confirmUninstall()
{
    if (m_showUninstallConfirmation)
        return;
    m_showUninstallConfirmation = true;
    const MessageBox::Alert alert{
        QStringLiteral("Uninstall Orvane?"),
        QStringLiteral("This removes Orvane's integrations from the selected tools. Your original "
                       "settings will be restored where possible."),
        QStringLiteral("Uninstall"), MessageBox::Kind::Destructive};
    m_services.ask(this, alert, [this](MessageBox::Answer answer) {
        m_showUninstallConfirmation = false;
        if (answer == MessageBox::Answer::Confirm)
            Q_EMIT uninstallRequested();
    });
}

bool LaunchedView::noticeDismissed() const
{
    return m_services.settings && m_services.settings->value(noticeDismissedKey(), false).toBool();
}

void LaunchedView::dismissNotice()
{
    if (!m_services.settings)
        return;
    m_services.settings->setValue(noticeDismissedKey(), true);
    m_services.settings->sync(); // at once, not when the program ends
}

void LaunchedView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Design::paper());
}

void LaunchedView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_card->move((width() - m_card->width()) / 2, (height() - m_card->height()) / 2);
    m_notice->place();
}

} // namespace Wizard

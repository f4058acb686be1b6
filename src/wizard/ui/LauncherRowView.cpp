#include "wizard/ui/LauncherRowView.h"

#include "design/Design.h"
#include "design/FlatButton.h"
#include "wizard/ui/CopyButton.h"
#include "wizard/ui/ScreenParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace Wizard {

LauncherRowView::LauncherRowView(const LauncherRow &row, QWidget *parent)
    : QWidget(parent)
    , m_row(row)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 20, 0, 21); // the last point is the divider's
    layout->setSpacing(18);

    auto *code =
        makeLabel(row.code, Design::archivo(31, Design::Weight::Bold), Design::muted(), this);
    code->setObjectName(QStringLiteral("code"));
    code->setFixedWidth(58);
    layout->addWidget(code, 0, Qt::AlignVCenter);

    auto *column = new QVBoxLayout;
    column->setSpacing(5);
    auto *name =
        makeLabel(row.name, Design::archivo(22, Design::Weight::Bold), Design::ink(), this);
    name->setObjectName(QStringLiteral("name"));
    column->addWidget(name);
    m_copy = new CopyButton(row.command, this);
    m_copy->setObjectName(QStringLiteral("copy"));
    column->addWidget(m_copy, 0, Qt::AlignLeft);
    layout->addLayout(column);
    layout->addStretch(1);

    m_terminal = new Design::FlatButton(QStringLiteral("Open in Terminal  \u203A"), this);
    m_terminal->setObjectName(QStringLiteral("openInTerminal"));
    m_terminal->setFont(Design::archivo(14, Design::Weight::Bold));
    m_terminal->setColors(Qt::transparent, Design::muted());
    m_terminal->setOutline(Design::line(), 1, 2);
    m_terminal->setDesignSize({170, 46});
    layout->addWidget(m_terminal, 0, Qt::AlignVCenter);

    m_launch = new Design::FlatButton(QStringLiteral("Launch App  \u2197"), this);
    m_launch->setObjectName(QStringLiteral("launchApp"));
    m_launch->setFont(Design::archivo(15, Design::Weight::Bold));
    m_launch->setColors(Design::red(), Qt::white);
    m_launch->setDesignSize({182, 46});
    layout->addWidget(m_launch, 0, Qt::AlignVCenter);

    connect(m_copy, &CopyButton::clicked, this, &LauncherRowView::copyClicked);
    connect(m_terminal, &Design::FlatButton::clicked, this, &LauncherRowView::terminalClicked);
    connect(m_launch, &Design::FlatButton::clicked, this, &LauncherRowView::launchClicked);
}

void LauncherRowView::setBusy(bool busy)
{
    // A disabled button would hand its focus down the tab chain, as far as "Uninstall"; the
    // row's own copy mark keeps it instead, quietly.
    if (busy && (m_terminal->hasFocus() || m_launch->hasFocus()))
        m_copy->setFocus(Qt::OtherFocusReason);
    m_terminal->setEnabled(!busy);
    m_launch->setEnabled(!busy);
}

void LauncherRowView::setCopied(bool copied)
{
    m_copy->setCopied(copied);
}

void LauncherRowView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(QRect(0, height() - 1, width(), 1), Design::line());
}

} // namespace Wizard

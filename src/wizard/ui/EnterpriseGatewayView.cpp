#include "wizard/ui/EnterpriseGatewayView.h"

#include "design/Design.h"
#include "design/FlatButton.h"
#include "wizard/ui/LabeledField.h"
#include "wizard/ui/ScreenParts.h"
#include "wizard/TextTrimming.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QVBoxLayout>

namespace Wizard {

EnterpriseGatewayView::EnterpriseGatewayView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("enterpriseGatewayView"));
    setFont(Design::archivo(15));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    column->addWidget(makeStepHeader(
        makeLabel(tr("ENTERPRISE GATEWAY"), Design::archivo(12, Design::Weight::Bold, 2),
                  Design::ink(), this),
        nullptr, this));

    auto *content = new QVBoxLayout;
    content->setContentsMargins(44, 28, 44, 0);
    content->setSpacing(0);
    content->addWidget(makeLabel(tr("Your organization's gateway"),
                                 Design::archivo(34, Design::Weight::Black, -1), Design::ink(),
                                 this));
    content->addSpacing(10);
    auto *about = makeLabel(tr("Your IT team runs Orvane on your network. Point this computer at "
                               "it and you'll get a key for your account on that gateway."),
                            Design::archivo(14), Design::muted(), this);
    about->setWordWrap(true);
    about->setMaximumWidth(460);
    content->addWidget(about);
    content->addSpacing(26);

    m_url = new LabeledField(tr("Gateway URL"), tr("https://gateway.example.com"), this);
    m_url->setObjectName(QStringLiteral("gatewayUrl"));
    content->addWidget(m_url);
    content->addSpacing(18);
    m_email = new LabeledField(tr("Your email"), tr("you@example.com"), this);
    m_email->setObjectName(QStringLiteral("email"));
    content->addWidget(m_email);
    column->addLayout(content);
    column->addStretch(1);

    auto *footer = new QHBoxLayout;
    footer->setContentsMargins(40, 0, 40, 20);
    footer->setSpacing(10);
    auto *back = makeBackButton(this);
    back->setObjectName(QStringLiteral("back"));
    footer->addWidget(back);
    m_continue = makePrimaryButton(tr("Continue"), this);
    m_continue->setObjectName(QStringLiteral("continue"));
    footer->addWidget(m_continue);
    footer->addStretch(1);
    column->addLayout(footer);

    connect(m_url, &LabeledField::textChanged, this, &EnterpriseGatewayView::updateContinue);
    connect(m_email, &LabeledField::textChanged, this, &EnterpriseGatewayView::updateContinue);
    connect(back, &Design::FlatButton::clicked, this, &EnterpriseGatewayView::cancelled);
    connect(m_continue, &Design::FlatButton::clicked, this, [this] {
        if (enterpriseFormCanContinue(m_url->text(), m_email->text()))
            Q_EMIT continued(trimSpacesAndTabs(m_url->text()), trimSpacesAndTabs(m_email->text()));
    });
    // Return continues; it does nothing while the form cannot.
    clickOnReturn(m_continue, this);
    clickOnEscape(back, this);
    setFocusProxy(m_url->edit());
    updateContinue();
}

void EnterpriseGatewayView::setGateway(const EnterpriseGateway &gateway)
{
    m_url->setText(gateway.url);
    m_email->setText(gateway.email);
}

void EnterpriseGatewayView::updateContinue()
{
    m_continue->setEnabled(enterpriseFormCanContinue(m_url->text(), m_email->text()));
}

void EnterpriseGatewayView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Design::paper());
}

} // namespace Wizard

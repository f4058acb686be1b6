#include "wizard/RootView.h"

#include "wizard/WelcomeScreen.h"

#include <QStackedLayout>

namespace Wizard {

RootView::RootView(QSize size, QWidget *parent)
    : QWidget(parent)
    , m_size(size)
{
    setObjectName(QStringLiteral("rootView"));
    m_screens = new QStackedLayout(this);
    m_screens->setContentsMargins(0, 0, 0, 0);
    // The question screens that "Get started" leads to come with the wizard's flow controller.
    m_screens->addWidget(new WelcomeScreen(this));
}

} // namespace Wizard

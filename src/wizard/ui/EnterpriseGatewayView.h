#pragma once

#include "wizard/EnterpriseGateway.h"

#include <QWidget>

namespace Design {
class FlatButton;
}

namespace Wizard {

class LabeledField;

// The form for an organisation's own gateway: its address and the user's e-mail. "Continue"
// hands both on, trimmed of spaces and tabs, once the address is not blank and the e-mail
// has an "@". The keyboard starts in the address; Escape is "Back".
class EnterpriseGatewayView : public QWidget
{
    Q_OBJECT

public:
    explicit EnterpriseGatewayView(QWidget *parent = nullptr);

    // Fills the form with the gateway being changed.
    void setGateway(const EnterpriseGateway &gateway);

Q_SIGNALS:
    void cancelled();
    void continued(const QString &url, const QString &email);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void updateContinue();

    LabeledField *m_url = nullptr;
    LabeledField *m_email = nullptr;
    Design::FlatButton *m_continue = nullptr;
};

} // namespace Wizard

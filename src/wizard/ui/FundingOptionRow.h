#pragma once

#include "design/FocusRingButton.h"

namespace Wizard {

// One funding option on a funding step: a check box and the option's name, the whole row one
// button without chrome. A checkable button: a click or Space toggles it.
class FundingOptionRow : public Design::FocusRingButton
{
    Q_OBJECT

public:
    explicit FundingOptionRow(const QString &title, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace Wizard

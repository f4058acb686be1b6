#pragma once

#include "design/FocusRingButton.h"

namespace Wizard {

// A launcher row's command, set in monospace and followed by a small mark: two stacked squares
// ("copy") or, once this command has been copied, a check mark. Drawn without chrome; the
// whole label is the click area.
class CopyButton : public Design::FocusRingButton
{
    Q_OBJECT

public:
    explicit CopyButton(const QString &command, QWidget *parent = nullptr);

    void setCopied(bool copied);
    bool isCopied() const { return m_copied; }

    QSize sizeHint() const override;
    // A command too long for its row is cut short with an ellipsis; the mark always shows.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static constexpr int markGap = 7;

    QFont markFont() const;
    int markSize() const;

    bool m_copied = false;
};

} // namespace Wizard

#pragma once

#include "design/FocusRingButton.h"

namespace Wizard {

// One tool on the tools step: its two-letter code at the top, its name at the bottom, red with
// a check mark when selected. A checkable button: a click or Space toggles it.
class ToolTile : public Design::FocusRingButton
{
    Q_OBJECT

public:
    ToolTile(const QString &harnessId, const QString &name, QWidget *parent = nullptr);

    QString harnessId() const { return m_harnessId; }
    // "CC" for Claude Code, "CX" for Codex, "OC" for any other tool.
    static QString code(const QString &harnessId);

    QSize sizeHint() const override { return {190, 190}; }
    QSize minimumSizeHint() const override { return {60, 190}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_harnessId;
};

} // namespace Wizard

#pragma once

#include "wizard/QuestionStep.h"
#include "wizard/QuestionsModel.h"

#include <QWidget>

class QLabel;

namespace Design {
class FlatButton;
}

namespace Wizard {

// The questions, one step at a time: the tools, then one funding step per funding group the
// chosen tools use. A header names the step, shows the organisation's gateway when there is one
// and counts the steps; the footer goes back, on, and on the last step submits, saying which
// step stands in the way while the answers cannot go. It starts at the tools step; everything
// chosen or typed lives in the model, so going back and forth keeps it, and the model's answers
// are what is submitted. After each step change the keyboard is on the step's first field, else
// on the primary button.
class QuestionsView : public QWidget
{
    Q_OBJECT

public:
    explicit QuestionsView(QuestionsModel *model, QWidget *parent = nullptr);

    QuestionsModel *model() const { return m_model; }
    QuestionStep step() const { return m_step; }
    // The position of step() in the model's steps, 0 when it is not among them.
    int stepIndex() const;

    // "%1 OF %2" as the header shows it.
    QString counterText() const;

    // The first step shows "Back" too, and Escape there does the same: cancelled().
    void setCancellable(bool cancellable);

Q_SIGNALS:
    // The final button (disabled while the model says its answers cannot be submitted).
    void submitted();
    // "Back" on the first step of cancellable questions.
    void cancelled();
    // "Have an Enterprise Gateway?", and "Change" by the gateway in the header.
    void enterpriseGatewayRequested();
    // "Remove" by the gateway in the header.
    void gatewayRemovalRequested();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QWidget *buildHeaderRight();
    QWidget *buildBlocker();
    void goBack();
    void goOn();
    void setStep(const QuestionStep &step);
    void showStep();
    void updateChrome();
    bool isLastStep() const;
    // The step's first field, else the primary button, else the step's first control.
    QWidget *firstFocus() const;
    // "Step N": step N, with the keyboard on the field at fault there.
    void showBlocker();

    // The root view replaces this view whenever the controller replaces its model, and the
    // old model is deleted no sooner than the old view, so a plain pointer is enough.
    QuestionsModel *m_model;
    QuestionStep m_step = QuestionStep::tools();
    bool m_cancellable = false;
    QList<QWidget *> m_stepChain;
    QLabel *m_stepLabel = nullptr;
    QLabel *m_counter = nullptr;
    QWidget *m_stepArea = nullptr;
    QWidget *m_stepView = nullptr;
    Design::FlatButton *m_back = nullptr;
    Design::FlatButton *m_primary = nullptr;
    QWidget *m_blocker = nullptr;
    Design::FlatButton *m_blockerStep = nullptr;
    QLabel *m_blockerReason = nullptr;
    Design::FlatButton *m_enterprise = nullptr;
};

} // namespace Wizard

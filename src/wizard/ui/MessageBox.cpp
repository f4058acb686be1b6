#include "wizard/ui/MessageBox.h"

#include <QMessageBox>
#include <QPushButton>

namespace Wizard {

QMessageBox *MessageBox::ask(QWidget *parent, const Alert &alert,
                             std::function<void(Answer)> answered)
{
    auto *box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setWindowTitle(alert.title);
    box->setIcon(alert.kind == Kind::Destructive ? QMessageBox::Warning
                                                 : QMessageBox::Question);
    box->setTextFormat(Qt::PlainText);
    box->setText(alert.title);
    box->setInformativeText(alert.message);
    QPushButton *confirm = box->addButton(alert.confirmText, alert.kind == Kind::Destructive
                                                                 ? QMessageBox::DestructiveRole
                                                                 : QMessageBox::AcceptRole);
    confirm->setObjectName(QStringLiteral("confirm"));
    QPushButton *cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancel"));
    box->setEscapeButton(cancel);
    box->setDefaultButton(alert.kind == Kind::Destructive ? cancel : confirm);

    // finished() comes once for every way the box closes: a button, Escape, the window's close.
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, confirm, answered = std::move(answered)](int) {
                         answered(box->clickedButton() == confirm ? Answer::Confirm
                                                                  : Answer::Cancel);
                     });
    box->open();
    return box;
}

} // namespace Wizard

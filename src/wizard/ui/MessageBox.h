#pragma once

#include <QString>

#include <functional>

class QMessageBox;
class QWidget;

namespace Wizard {

// The wizard's standard alerts: a title, a message, one confirming button and "Cancel".
// The box is modal to the window it is shown over, but it never runs a nested event loop:
// the answer arrives through a callback. Screens ask through an Ask they are given, which
// tests replace to answer without a box.
class MessageBox
{
public:
    enum class Answer
    {
        Confirm,
        Cancel
    };

    enum class Kind
    {
        Destructive, // the confirming button deletes or undoes something; Return cancels
        Normal       // the confirming button is the default
    };

    struct Alert
    {
        QString title;
        QString message;
        QString confirmText;
        Kind kind = Kind::Normal;
    };

    // How a screen asks: ask() below, or what a test puts in its place.
    using Ask = std::function<void(QWidget *parent, const Alert &alert,
                                   std::function<void(Answer)> answered)>;

    // Shows `alert` window-modal over `parent`'s window and calls `answered` once with the
    // user's choice; Escape and closing the box count as Cancel. Gives the box shown, owned by
    // `parent` and deleted after answering.
    static QMessageBox *ask(QWidget *parent, const Alert &alert,
                            std::function<void(Answer)> answered);
};

} // namespace Wizard

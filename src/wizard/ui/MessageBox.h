#pragma once

#include <QString>

#include <functional>
#include <optional>

class QMessageBox;
class QWidget;

namespace Wizard {

// The wizard's standard alerts: a title, a message, one confirming button and "Cancel".
// The box is modal to the window it is shown over, but it never runs a nested event loop:
// the answer arrives through a callback. Tests answer the next alert in advance instead of
// clicking it.
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

    // Shows `alert` window-modal over `parent`'s window and calls `answered` once with the
    // user's choice; Escape and closing the box count as Cancel. With an answer set by
    // setNextAnswer, nothing is shown and `answered` is called at once. Gives the box shown,
    // owned by `parent` and deleted after answering, or nullptr when none was shown.
    static QMessageBox *ask(QWidget *parent, const Alert &alert,
                            std::function<void(Answer)> answered);

    // The answer the next ask gives without showing anything.
    static void setNextAnswer(Answer answer);
    // Forgets an answer that no alert used; gives whether there was one.
    static bool clearNextAnswer();

private:
    static std::optional<Answer> s_nextAnswer;
};

} // namespace Wizard

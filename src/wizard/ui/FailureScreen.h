#pragma once

#include <QWidget>

class QLabel;

namespace Wizard {

// "Something went wrong", the one line that says what, and "Try again" (also the Return key).
class FailureScreen : public QWidget
{
    Q_OBJECT

public:
    explicit FailureScreen(QWidget *parent = nullptr);

    void setErrorText(const QString &text);
    QString errorText() const;

Q_SIGNALS:
    void retryRequested();

private:
    QLabel *m_error = nullptr;
};

} // namespace Wizard

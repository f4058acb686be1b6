#pragma once

#include <QWidget>

class QLabel;

namespace Wizard {

// A spinner, what is happening, and a hint about the browser sign-in. Used while the start-up
// check runs and during install, update and uninstall.
class ProgressScreen : public QWidget
{
    Q_OBJECT

public:
    explicit ProgressScreen(QWidget *parent = nullptr);

    void setStatusText(const QString &text);
    QString statusText() const;

private:
    QLabel *m_status = nullptr;
};

} // namespace Wizard

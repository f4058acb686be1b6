#pragma once

#include <QWidget>

class QLabel;

namespace Wizard {

// The dark card that tells the user a command is on the clipboard while a terminal opens for
// it to be pasted into. It takes no clicks: the screen beneath stays usable.
class CommandCard : public QWidget
{
    Q_OBJECT

public:
    explicit CommandCard(QWidget *parent = nullptr);

    void setCommand(const QString &command);
    QString command() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *m_command = nullptr;
};

} // namespace Wizard

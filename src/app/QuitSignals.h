#pragma once

#include <QObject>

class QSocketNotifier;

namespace App {

// SIGTERM, SIGHUP (the session ends) and SIGINT, turned into an ordinary event: a handler may
// only write to a pipe, and the event loop reads it and asks the program to quit, so that what
// it leaves behind (an installer, its answers file) is ended as on the Quit command.
class QuitSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;

Q_SIGNALS:
    void received(int signal);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace App

#pragma once

#include <QHash>
#include <QObject>
#include <QString>

namespace Setup {

// The installs under way and the answers file each one reads. The file holds the user's key:
// when the program ends while an installer runs, the installer's whole process tree is ended
// and the file removed, rather than left to an orphan and the temporary folder.
class RunningInstalls : public QObject
{
    Q_OBJECT

public:
    ~RunningInstalls() override;

    void started(const QString &answersFile, qint64 pid);
    void finished(const QString &answersFile);

    // Ends every installer's processes (SIGTERM, SIGKILL for what is left after a grace time)
    // and removes their answers files.
    void endAll();

    // Removes what an ended program left in `directory`: each orv_install_*.json that is a
    // regular file of this user with mode 0600 and that no running process was given as an
    // argument. Returns how many.
    static int removeLeftAnswersFiles(const QString &directory);

private:
    QHash<QString, qint64> m_running;
};

} // namespace Setup

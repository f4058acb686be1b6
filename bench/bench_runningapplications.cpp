// How long one look through /proc for a desktop application takes: the check runs on the
// main thread whenever the launcher screen is about to start an application.
#include "platform/ProcRunningApplications.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <vector>

int main()
{
    const Platform::ProcRunningApplications applications;
    // Names nothing has, so every scan reads every process, as it does when the app is closed.
    const QStringList names{QStringLiteral("Claude"), QStringLiteral("Claude Desktop"),
                            QStringLiteral("claude-desktop")};
    const auto processCount =
        QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs).size();

    constexpr int rounds = 2000;
    std::vector<double> micros;
    micros.reserve(rounds);
    bool anyRunning = false;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        anyRunning |= applications.isRunning(names);
        micros.push_back(double(timer.nsecsElapsed()) / 1000.0);
    }
    std::sort(micros.begin(), micros.end());

    QTextStream out(stdout);
    out << "processes in /proc: " << processCount << '\n'
        << "Claude Desktop running: " << (anyRunning ? "yes" : "no") << '\n'
        << "isRunning over " << rounds << " scans, microseconds: median "
        << micros[micros.size() / 2] << ", p90 " << micros[micros.size() * 9 / 10] << ", max "
        << micros.back() << '\n'
        << "per process: " << micros[micros.size() / 2] / double(processCount) << " us\n";
    return 0;
}

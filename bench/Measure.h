#pragma once

// Timing, processes and the machine, for the benchmark programs.

#include <QFile>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace Bench {

using Clock = std::chrono::steady_clock;

inline double seconds(Clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

// CPU time in seconds of a clock: by default this thread's, what the overlay's main thread
// spends.
inline double cpuTime(clockid_t clock = CLOCK_THREAD_CPUTIME_ID)
{
    timespec now;
    ::clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

inline double threadCpu()
{
    return cpuTime();
}

inline double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::size_t(fraction * double(values.size() - 1) + 0.5)];
}

inline double median(const std::vector<double> &values)
{
    return percentile(values, 0.5);
}

inline std::string readText(const std::string &path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

inline std::int64_t fileSize(const std::string &path)
{
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 ? status.st_size : 0;
}

inline void warm(const std::string &path)
{
    std::vector<char> buffer(1 << 20);
    const int fd = ::open(path.c_str(), O_RDONLY);
    while (fd >= 0 && ::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    if (fd >= 0)
        ::close(fd);
}

const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

inline void printMachine()
{
    std::string cpu = "unknown";
    const std::string info = readText("/proc/cpuinfo");
    if (const auto at = info.find("model name"); at != std::string::npos) {
        const auto colon = info.find(':', at);
        cpu = info.substr(colon + 2, info.find('\n', colon) - colon - 2);
    }
    struct utsname name;
    ::uname(&name);
    double load[3] = {0, 0, 0};
    ::getloadavg(load, 3);
    std::printf("machine: %u cores, CPU %s, Linux %s, load average %.2f %.2f %.2f\n",
                std::thread::hardware_concurrency(), cpu.c_str(), name.release, load[0], load[1],
                load[2]);
}

struct ProcessRun
{
    double seconds = 0;
    double cpuSeconds = 0; // user and system, every thread
    long peakKilobytes = 0;
    int status = -1;
};

// Runs a program with stdout to OUTPUT and stderr to /dev/null; wall time and peak memory.
// fork, not posix_spawn: a child that shares this process's memory until its exec reports this
// process's peak as its own.
inline ProcessRun runProcess(const std::vector<std::string> &arguments,
                             const std::string &output = "/dev/null")
{
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    ProcessRun run;
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(out, 1);
        ::dup2(null, 2);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    if (pid < 0)
        return run;
    int status = 0;
    struct rusage usage;
    ::wait4(pid, &status, 0, &usage);
    run.seconds = seconds(Clock::now() - start);
    run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakKilobytes = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The median wall time of RUNS calls, and the median CPU time of this thread (or, with
// CLOCK, of that clock: CLOCK_PROCESS_CPUTIME_ID counts every thread).
inline double timeRuns(int runs, const std::function<void()> &once, double *cpuSeconds = nullptr,
                       clockid_t clock = CLOCK_THREAD_CPUTIME_ID)
{
    std::vector<double> times;
    std::vector<double> cpuTimes;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        const double cpuStart = cpuTime(clock);
        once();
        cpuTimes.push_back(cpuTime(clock) - cpuStart);
        times.push_back(seconds(Clock::now() - start));
    }
    if (cpuSeconds)
        *cpuSeconds = median(cpuTimes);
    return median(times);
}

} // namespace Bench

// A simulated day of the overlay: the panel controller on the fake clock and timers over the
// inotify index, 86,400 display ticks, while a Claude window comes and goes, conversations are
// started, written to and replaced on real files, and a loopback gateway answers every poll.
// Prints the open file descriptors, the resident memory and the heap in use at the start, the
// middle and the end of the day, and end/start. Figures are printed, never asserted.
#include "support/OverlayStandIns.h"
#include "overlay/GatewayConfig.h"
#include "overlay/OriginStore.h"
#include "overlay/OverlayPanelController.h"
#include "overlay/Panel.h"
#include "overlay/HttpTestServer.h"
#include "platform/ActiveWindowMonitor.h"
#include "platform/Screens.h"
#include "support/ManualTimers.h"
#include "usage/TranscriptIndex.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <deque>

using namespace std::chrono_literals;

namespace {

using StandIns::ClaudeInFront;
using StandIns::NoOrigin;
using StandIns::OneScreen;
using StandIns::QuietPanel;


QByteArray turn(int n)
{
    return QStringLiteral("{\"type\":\"assistant\",\"message\":{\"id\":\"d%1\",\"model\":"
                          "\"claude-opus-4-1\",\"usage\":{\"input_tokens\":%2,"
                          "\"cache_creation_input_tokens\":200,\"cache_read_input_tokens\":%3,"
                          "\"output_tokens\":40}}}\n")
        .arg(n)
        .arg(10 + n % 7)
        .arg(1000 + n)
        .toUtf8();
}

struct Sample
{
    int descriptors = 0;
    double residentMb = 0;
    double heapMb = 0;
};

Sample sample()
{
    Sample s;
    s.descriptors = int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot |
                                                                          QDir::AllEntries)
                            .size()) -
                    1; // the listing's own descriptor
    long pages = 0, resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    s.residentMb = double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
    s.heapMb = double(mallinfo2().uordblks) / (1024.0 * 1024.0);
    return s;
}

// The simulated day's own clock for modification times: the file system's real clock barely
// moves while a day passes on the fake one, and "newest" must follow the simulated order.
void stamp(const QString &path, std::int64_t second)
{
    const timespec times[2] = {{.tv_sec = second, .tv_nsec = 0}, {.tv_sec = second, .tv_nsec = 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    const QString folder = home.path() + QStringLiteral("/.claude/projects/-home-ada-day");
    QDir().mkpath(folder);
    const std::int64_t epoch = 1'700'000'000;

    std::deque<QString> files;
    int conversation = 0;
    int message = 0;
    auto create = [&](std::int64_t second) {
        files.push_back(folder + QStringLiteral("/%1.jsonl").arg(conversation++, 6, 10,
                                                                QLatin1Char('0')));
        QFile file(files.back());
        if (file.open(QIODevice::WriteOnly))
            file.close();
        stamp(files.back(), second);
    };
    for (int i = 0; i < 20; ++i) {
        create(epoch - 1000 + i);
        QFile file(files.back());
        if (file.open(QIODevice::Append))
            file.write(turn(++message));
        file.close();
        stamp(files.back(), epoch - 1000 + i);
    }

    HttpTestServer gateway;
    long long requests = 0;
    const auto answer = HttpTestServer::reply(
        200, "{\"model\":\"Opus 4.1\",\"detail\":\"Cache warm\",\"savings_pct\":41}");
    gateway.answer = [&](QTcpSocket *socket) {
        // The test server's record of requests is the bench's, not the program's: not kept.
        gateway.requests.clear();
        ++requests;
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        answer(socket);
    };
    QDir().mkpath(home.path() + QStringLiteral("/.config/orvane"));
    {
        QFile config(Overlay::gatewayConfigPath(home.path()));
        if (config.open(QIODevice::WriteOnly))
            config.write("{\"gateway_base_url\":\"" + gateway.url().toUtf8() +
                         "\",\"api_key\":\"k-day\"}");
    }

    ClaudeInFront monitor;
    OneScreen screens;
    NoOrigin origins;
    ManualClock clock;
    ManualTimers timers(clock);
    Usage::TranscriptIndex transcripts(home.path());
    Overlay::OverlayPanelController controller(Overlay::OverlayPanelController::Seams{
        .monitor = monitor, .screens = screens, .origins = origins, .clock = clock,
        .timers = timers, .transcripts = transcripts, .homeDirectory = home.path(),
        .executableName = {},
        .makePanel = [](Overlay::OverlayState &) { return std::make_unique<QuietPanel>(); }});
    controller.start();
    controller.toggle();

    // A shorter day for looking into a figure: orvane-bench-day TICKS.
    const int ticks = argc > 1 ? std::max(QString::fromLocal8Bit(argv[1]).toInt(), 2) : 86'400;
    int retargets = 0, started = 0, replaced = 0, appends = 0, switches = 0, toggles = 0;
    std::optional<QByteArray> watched;
    Sample at[4];
    QElapsedTimer wall;
    wall.start();
    for (int tick = 0; tick <= ticks; ++tick) {
        const std::int64_t second = epoch + tick;
        if (tick % 20 == 0) { // a new conversation; the oldest goes, so the tree stays its size
            create(second);
            ++started;
            if (files.size() > 30) {
                QFile::remove(files.front());
                files.pop_front();
            }
        } else if (tick % 97 == 0) { // the newest transcript rewritten and renamed into place
            const QString temporary = files.back() + QStringLiteral(".tmp");
            QFile file(temporary);
            if (file.open(QIODevice::WriteOnly))
            {
                const QByteArray first = turn(++message);
                file.write(first + turn(++message));
            }
            file.close();
            ::rename(QFile::encodeName(temporary).constData(),
                     QFile::encodeName(files.back()).constData());
            stamp(files.back(), second);
            ++replaced;
        } else if (tick % 3 == 0) {
            QFile file(files.back());
            if (file.open(QIODevice::Append))
                file.write(turn(++message));
            file.close();
            stamp(files.back(), second);
            ++appends;
        }
        if (tick % 30 == 0) { // another window in front for a few seconds
            monitor.setClaudeInFront(false);
            ++switches;
        } else if (tick % 30 == 5) {
            monitor.setClaudeInFront(true);
        }
        if (tick % 600 == 0) {
            controller.toggle();
            ++toggles;
        }
        timers.advance(1s);
        // The loopback gateway and the inotify events are real: let them through. Outside a
        // running event loop processEvents() leaves deleteLater() undone; the application's
        // loop does it, so the day does it too.
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (controller.watchedPath() && controller.watchedPath() != watched)
            ++retargets;
        watched = controller.watchedPath();
        // Before the first exchange and watch, after the first simulated hour (every kind of
        // descriptor has been opened once), at noon and at the end.
        if (tick == 0)
            at[0] = sample();
        else if (tick == ticks / 24)
            at[1] = sample();
        else if (tick == ticks / 2)
            at[2] = sample();
        else if (tick == ticks)
            at[3] = sample();
    }

    std::printf("A simulated day of the overlay controller (fake clock, inotify index, loopback "
                "gateway): %d display ticks in %.1f s of wall time\n",
                ticks, double(wall.elapsed()) / 1000.0);
    std::printf("  %d new conversations, %d transcripts replaced, %d appends, %d re-targets, "
                "%d window switches, %d toggles, %lld gateway requests\n",
                started, replaced, appends, retargets, switches, toggles,
                requests);
    std::printf("  %-8s %12s %14s %12s\n", "moment", "descriptors", "resident MiB", "heap MiB");
    const char *names[4] = {"start", "1 hour", "middle", "end"};
    for (int i = 0; i < 4; ++i)
        std::printf("  %-8s %12d %14.2f %12.2f\n", names[i], at[i].descriptors, at[i].residentMb,
                    at[i].heapMb);
    for (const int from : {0, 1})
        std::printf("  end/%-4s %12.3f %14.3f %12.3f\n", from == 0 ? "start" : "1 h",
                    double(at[3].descriptors) / std::max(at[from].descriptors, 1),
                    at[3].residentMb / std::max(at[from].residentMb, 1e-6),
                    at[3].heapMb / std::max(at[from].heapMb, 1e-6));
    std::printf("target: flat from the first hour on (end/1 h close to 1). The start is taken "
                "before the first gateway exchange and transcript watch, which open a few "
                "descriptors and buffers for good.\n");
    return 0;
}

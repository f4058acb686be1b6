// A simulated day of the overlay: the panel controller on the fake clock and timers over the
// inotify index, 86,400 display ticks, while a Claude window comes and goes, conversations are
// started, written to and replaced on real files, and a loopback gateway answers every poll.
// Prints the open file descriptors, the resident memory and the heap at the start, the middle and
// the end of the day (and of each further day asked for), and end/start. Figures are printed,
// never asserted.
#include "LiveHeap.h"
#include "support/OverlayStandIns.h"
#include "gateway/GatewayConfig.h"
#include "gateway/GatewayStatusClient.h"
#include "overlay/OverlayState.h"
#include "overlay/OriginStore.h"
#include "overlay/OverlayPanelController.h"
#include "overlay/Panel.h"
#include "support/HttpTestServer.h"
#include "platform/ActiveWindowMonitor.h"
#include "platform/Screens.h"
#include "support/ManualTimers.h"
#include "usage/TranscriptIndex.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <utility>
#include <vector>

using namespace std::chrono_literals;

namespace {

using StandIns::RecordingPanel;


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
    double heapMb = 0; // glibc's figure: what is held, and what its per-thread caches keep
    double liveMb = 0; // what is held in allocations, counted by LiveHeap
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
    s.liveMb = double(Bench::liveHeapBytes()) / (1024.0 * 1024.0);
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
        answer(socket);
    };
    QDir().mkpath(home.path() + QStringLiteral("/.config/orvane"));
    {
        QFile config(Gateway::gatewayConfigPath(home.path()));
        if (config.open(QIODevice::WriteOnly))
            config.write("{\"gateway_base_url\":\"" + gateway.url().toUtf8() +
                         "\",\"api_key\":\"k-day\"}");
    }

    StandIns::ScriptedMonitor monitor(StandIns::claude());
    StandIns::FixedScreens screens;
    StandIns::MemoryOrigins origins;
    ManualClock clock;
    ManualTimers timers(clock);
    Usage::TranscriptIndex transcripts(home.path());
    Overlay::OverlayPanelController controller(Overlay::OverlayPanelController::Seams{
        .monitor = monitor, .screens = screens, .origins = origins, .clock = clock,
        .timers = timers, .transcripts = transcripts, .homeDirectory = home.path(),
        .executableName = {},
        .makePanel = [](Overlay::OverlayState &) { return std::make_unique<RecordingPanel>(); }});
    controller.start();
    controller.toggle();
    long long answered = 0, unavailable = 0;
    QObject::connect(&controller.gatewayClient(), &Gateway::GatewayStatusClient::finished,
                     &controller, [&](const Gateway::StatusResult &result) {
                         ++(result ? answered : unavailable);
                     });

    // orvane-bench-day [TICKS] [--days N] [--no-teardown]: a shorter day for looking into a
    // figure; several days in a row, to tell a cache that fills from a leak; and an exit
    // without tearing down, so that a heap profiler's "leaked" is what the day kept.
    const QStringList arguments = QCoreApplication::arguments();
    const qsizetype daysAt = arguments.indexOf(QStringLiteral("--days"));
    const int days = daysAt > 0 ? std::max(arguments.value(daysAt + 1).toInt(), 1) : 1;
    const bool teardown = !arguments.contains(QStringLiteral("--no-teardown"));
    const int ticks = arguments.size() > 1 && arguments[1].toInt() > 0
                          ? std::max(arguments[1].toInt(), 24)
                          : 86'400;
    int readings = 0, started = 0, replaced = 0, appends = 0, switches = 0, toggles = 0;
    std::optional<Usage::TokenUsage> shown;
    std::vector<std::pair<QString, Sample>> at;
    QElapsedTimer wall;
    wall.start();
    for (int tick = 0; tick <= ticks * days; ++tick) {
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
            monitor.activate(StandIns::window(QStringLiteral("xterm"), QStringLiteral("XTerm")));
            ++switches;
        } else if (tick % 30 == 5) {
            monitor.activate(StandIns::claude());
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
        // The gateway answers within a millisecond of real time, but a simulated second passes
        // in less, and the client's deadline runs on the simulated clock: without waiting, most
        // exchanges would be cut off after a few ticks, which is not the day being simulated.
        if (controller.gatewayClient().isFetching()) {
            QEventLoop exchange;
            QObject::connect(&controller.gatewayClient(), &Gateway::GatewayStatusClient::finished,
                             &exchange, &QEventLoop::quit);
            // Not QTimer::singleShot: its timer object would live on for the whole 2 s after
            // the exchange, dozens of them at a time, and count in the heap.
            QTimer guard;
            guard.setSingleShot(true);
            QObject::connect(&guard, &QTimer::timeout, &exchange, &QEventLoop::quit);
            guard.start(2000);
            exchange.exec();
        }
        // The test server deletes its closed sockets later; outside a running event loop that
        // happens here.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (controller.state().snapshot().usage != shown)
            ++readings;
        shown = controller.state().snapshot().usage;
        // Before the first exchange and reading, after the first simulated hour (every kind of
        // descriptor has been opened once), at noon and at the end.
        if (tick == 0)
            at.emplace_back(QStringLiteral("start"), sample());
        else if (tick == ticks / 24)
            at.emplace_back(QStringLiteral("1 hour"), sample());
        else if (tick == ticks / 2)
            at.emplace_back(QStringLiteral("middle"), sample());
        else if (tick % ticks == 0)
            at.emplace_back(days == 1 ? QStringLiteral("end")
                                      : QStringLiteral("day %1").arg(tick / ticks),
                            sample());
    }

    std::printf("A simulated day of the overlay controller (fake clock, inotify index, loopback "
                "gateway): %d display ticks a day, %d day(s) in %.1f s of wall time\n",
                ticks, days, double(wall.elapsed()) / 1000.0);
    std::printf("  %d new conversations, %d transcripts replaced, %d appends, %d new readings, "
                "%d window switches, %d toggles, %lld gateway requests (%lld answered, %lld "
                "unavailable)\n",
                started, replaced, appends, readings, switches, toggles, requests, answered,
                unavailable);
    std::printf("  %-8s %12s %14s %10s %10s\n", "moment", "descriptors", "resident MiB",
                "heap MiB", "live MiB");
    for (const auto &[name, s] : at)
        std::printf("  %-8s %12d %14.2f %10.2f %10.2f\n", qPrintable(name), s.descriptors,
                    s.residentMb, s.heapMb, s.liveMb);
    const Sample &last = at.back().second;
    for (const int from : {0, 1})
        std::printf("  end/%-4s %12.3f %14.3f %10.3f %10.3f\n", from == 0 ? "start" : "1 h",
                    double(last.descriptors) / std::max(at[from].second.descriptors, 1),
                    last.residentMb / std::max(at[from].second.residentMb, 1e-6),
                    last.heapMb / std::max(at[from].second.heapMb, 1e-6),
                    last.liveMb / std::max(at[from].second.liveMb, 1e-6));
    std::printf("target: flat from the first hour on (end/1 h close to 1). The start is taken "
                "before the first gateway exchange and transcript reading, which open a few "
                "descriptors and buffers for good. heap: glibc's figure (mallinfo2), which also "
                "counts the freed blocks each thread's cache keeps for reuse; live: the bytes "
                "held in allocations.\n");
    std::fflush(stdout);
    if (!teardown)
        ::_exit(0);
    return 0;
}

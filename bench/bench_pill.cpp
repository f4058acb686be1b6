// The pill's cost while it shows and nothing happens: the overlay controller with its real
// timers and clock, over a home with one conversation, hosting the real pill in its real window
// on the offscreen platform (painted into memory as on a screen), expanded, for a stretch of real
// time each: a static pill, and a pill whose cache countdown runs. Printed as the process's CPU
// time per second of real time (percent of one core) and repaints per second, beside the same
// run with the pill repainting everything at every change (the earlier way). Figures are
// printed, never asserted.
//
//   orvane-bench-pill [--seconds N]   (default 60 per run)

#include "LivePill.h"
#include "Measure.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

using namespace Bench;

namespace {

constexpr double staticTarget = 0.1;    // percent of a core
constexpr double countdownTarget = 0.3; // percent of a core

struct PaintCounter final : QObject
{
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

struct Figures
{
    double percent = 0; // of one core
    double paintsPerSecond = 0;
};

// One run of SECONDS real seconds.
Figures run(const QString &home, int seconds, bool countdown, bool everything)
{
    LivePill live(home, everything);
    Overlay::OverlayPanelController &controller = live.controller;
    Overlay::OverlayPillView *pill = &live.pill();
    PaintCounter counter;
    pill->installEventFilter(&counter);
    // The status line as a gateway would fill it (colour emoji included), with the countdown
    // far enough ahead to run for the whole run. There is no gateway here, so nothing else
    // writes these fields.
    const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000;
    controller.state().update([&](Overlay::OverlaySnapshot &fields) {
        fields.cacheExpiresAt = countdown ? std::optional(now + 3600) : std::nullopt;
        fields.savingsPct = 38;
        fields.asksOpen = 2;
        fields.answersFresh = 1;
    });
    // Settle: shown, painted, the first reading counted up.
    {
        QEventLoop settle;
        QTimer::singleShot(3000, &settle, &QEventLoop::quit);
        settle.exec();
    }

    counter.paints = 0;
    const double cpuStart = cpuTime(CLOCK_PROCESS_CPUTIME_ID);
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double elapsed = double(wall.elapsed()) / 1000;
    const double cpu = cpuTime(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
    pill->removeEventFilter(&counter);
    return {cpu / elapsed * 100, counter.paints / elapsed};
}

} // namespace

int main(int argc, char **argv)
{
    // Painted into memory: no display needed, and the figure is the program's own work.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    int seconds = 60;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--seconds")
            seconds = std::max(1, std::atoi(argv[i + 1]));
    }
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral(".claude/projects/-home-ada-app"));
    QDir().mkpath(folder);
    QFile transcript(folder + QStringLiteral("/s.jsonl"));
    if (!transcript.open(QIODevice::WriteOnly) ||
        transcript.write(
            R"({"type":"assistant","message":{"id":"m1","model":"claude-sonnet-4-5","usage":{"input_tokens":12,"cache_creation_input_tokens":4200,"cache_read_input_tokens":45100,"output_tokens":830}}})"
            "\n") < 0)
        return 1;
    transcript.close();

    printMachine();
    std::printf(
        "\n== the pill shown and expanded, %d s of real time per run (offscreen platform)\n",
        seconds);
    struct Row
    {
        const char *name;
        bool countdown;
        double target;
    };
    const Row rows[] = {{"static pill", false, staticTarget},
                        {"cache countdown running", true, countdownTarget}};
    for (const Row &row : rows) {
        const Figures now = run(home.path(), seconds, row.countdown, false);
        const Figures before = run(home.path(), seconds, row.countdown, true);
        std::printf("  %-26s %.3f %% of a core, %.2f repaints/s; repainting everything (before): "
                    "%.3f %%, %.2f repaints/s; %.1fx less\n",
                    row.name, now.percent, now.paintsPerSecond, before.percent,
                    before.paintsPerSecond, before.percent / std::max(now.percent, 1e-6));
        std::printf("  target %s < %.1f %% of a core: %.3f %%, %s\n", row.name, row.target,
                    now.percent, verdict(now.percent < row.target));
    }
    printMachine();
    return 0;
}

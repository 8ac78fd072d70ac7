// How much processor time a 5-second wait costs with the real clock and event loop: the
// loop the programmer's Pause runs, timed with getrusage. Target: under 2% of one core.
#include "platform/QtClock.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {

double ProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The same loop as Pause: the clock decides when the wait is over.
void Wait(platform::Clock& clock, double ms) {
    const double start = clock.NowMs();
    while (clock.NowMs() - start < ms) {
        clock.ProcessEvents(start + ms);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    platform::QtClock clock;
    const double waitMs = argc > 1 ? std::atof(argv[1]) : 5000.0;

    Wait(clock, 10); // let the event loop set itself up
    const double cpuBefore = ProcessorSeconds();
    const double wallBefore = clock.NowMs();
    Wait(clock, waitMs);
    const double cpu = ProcessorSeconds() - cpuBefore;
    const double wall = (clock.NowMs() - wallBefore) / 1000.0;

    const double share = cpu / wall * 100.0;
    std::printf("bench_pause: waited %.3f s (asked %.3f s), processor %.4f s = %.2f%% of one "
                "core (target < 2%%): %s\n",
                wall, waitMs / 1000.0, cpu, share, share < 2.0 ? "PASS" : "FAIL");
    return share < 2.0 ? 0 : 1;
}

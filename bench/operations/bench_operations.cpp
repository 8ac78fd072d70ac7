// Wall time and processor time of a 512-byte PROGRAM, READ and VERIFY through QSerialPort
// against the adapter tool on a pseudo-terminal, against the protocol's own minimum; and of
// READ and VERIFY taking the bytes as they arrive, against what the line can carry.

#include "AdapterTool.h"
#include "FakeFileDialogs.h"
#include "FakeMessageBoxes.h"
#include "core/Operations.h"
#include "core/PortControl.h"
#include "core/PortDevices.h"
#include "platform/QtClock.h"
#include "platform/QtSettingsStore.h"
#include "platform/Services.h"
#include "programmer/frmMain.h"
#include "transport/PortFactory.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <vector>

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Run {
    double ms;
    double cpu;
};

Run Once(const std::function<void()>& operation) {
    QElapsedTimer wall;
    const double cpu0 = CpuSeconds();
    wall.start();
    operation();
    return {wall.nsecsElapsed() / 1e6, CpuSeconds() - cpu0};
}

void Print(const char* name, const Run& run, double minimumMs, const char* reference) {
    std::printf("%-12s wall %9.1f ms  %s %8.1f ms  ratio %.4f  cpu %.3f s (%.2f%% of a core)\n",
                name, run.ms, reference, minimumMs, run.ms / minimumMs, run.cpu,
                100.0 * run.cpu * 1000.0 / run.ms);
}

void Measure(const char* name, QPushButton* button, double minimumMs) {
    Print(name, Once([button] { button->click(); }), minimumMs, "minimum");
}

// The median of repeated runs, as a short wait is easily disturbed.
void MeasureMedian(const char* name, const std::function<void()>& operation, double minimumMs,
                   int runs, const std::function<void()>& before) {
    std::vector<Run> all;
    for (int i = 0; i < runs; ++i) {
        before();
        all.push_back(Once(operation));
    }
    // The median run's wall time; processor time over all the runs, as one run's few
    // milliseconds are at the mercy of the clock's tick.
    double cpu = 0, ms = 0;
    for (const Run& run : all) {
        cpu += run.cpu;
        ms += run.ms;
    }
    std::sort(all.begin(), all.end(), [](const Run& a, const Run& b) { return a.ms < b.ms; });
    Print(name, {all[all.size() / 2].ms, cpu / double(all.size())}, minimumMs, "line    ");
    std::printf("%-12s processor time over %zu runs: %.2f%% of a core\n", "", all.size(),
                100.0 * cpu * 1000.0 / ms);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    AdapterTool tool;
    const QString device = tool.Start(QStringLiteral(ADAPTER_SIM_TOOL), {});
    if (device.isEmpty()) {
        std::fprintf(stderr, "the adapter tool did not start\n");
        return 1;
    }
    qputenv("VIDAVEV_COMM1", device.toLocal8Bit());

    platform::QtClock clock;
    FakeMessageBoxes messages;
    FakeFileDialogs dialogs;
    platform::QtSettingsStore settings(dir.filePath("settings.ini"));
    transport::PortFactory factory(clock);
    core::PortControl port(factory.AsOpener());
    platform::Services services{clock, messages, dialogs, settings, &port};
    frmMain w(services, frmMain::Links{});
    w.show();
    w.mnuComm[0]->trigger();
    w.findChild<QAction*>(QStringLiteral("mnuTMS370CX56A"))->trigger();

    const QString image = dir.filePath("image.bin");
    QFile f(image);
    f.open(QIODevice::WriteOnly);
    for (int i = 0; i < 512; ++i) {
        f.putChar(static_cast<char>(i * 7));
    }
    f.close();

    // --fast-only skips the minute of the default mode.
    if (!app.arguments().contains(QStringLiteral("--fast-only"))) {
        std::printf("512-byte block (family x), QSerialPort on a pseudo-terminal\n");
        dialogs.answers << image;
        Measure("PROGRAM", w.Command2, 10 + 10 + 40 + 512 * 2 + 23400);
        dialogs.answers << dir.filePath("read.bin");
        Measure("READ", w.Command1, 10 + 10 + 10 + 200 + 512 * 75);
        Measure("VERIFY", w.Command3, 10 + 10 + 10 + 200 + 512 * 75);
    }

    // 30 ms of command gaps and 512 bytes of 10 bits at 9600 baud.
    const double lineLimitMs = 30 + 512 * 10 * 1000.0 / 9600;
    w.mnuFastReceive->trigger();
    std::printf("Fast Receive through the window, Working window included (median of 15)\n");
    MeasureMedian(
        "fast READ", [&] { w.Command1->click(); }, lineLimitMs, 15,
        [&] { dialogs.answers << dir.filePath("read.bin"); });
    MeasureMedian(
        "fast VERIFY", [&] { w.Command3->click(); }, lineLimitMs, 15, [] {});

    // The engine alone, as the command line runs it.
    std::printf("Fast Receive, the operations core alone (median of 15)\n");
    core::PortControl bare(factory.AsOpener());
    core::SetUpPort(bare, core::PortItem(settings, 1));
    core::Operations engine(bare, clock);
    core::OperationObserver quiet;
    core::OperationOptions fast;
    fast.fastReceive = true;
    const core::Family& x = *core::FindFamily(QStringLiteral("x"));
    for (core::Operation op : {core::Operation::Read, core::Operation::Verify}) {
        MeasureMedian(
            op == core::Operation::Read ? "core READ" : "core VERIFY",
            [&] {
                const core::Outcome outcome = engine.Run(op, x, quiet, fast);
                if (!outcome.Succeeded()) {
                    std::printf("failed: %d\n", int(outcome.status));
                }
            },
            lineLimitMs, 15, [] {});
    }
    for (const auto& box : messages.shown) {
        std::printf("message: %s\n", qPrintable(box.prompt));
    }
    return 0;
}

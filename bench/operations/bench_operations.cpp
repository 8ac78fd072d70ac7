// Wall time and processor time of a 512-byte PROGRAM, READ and VERIFY through QSerialPort
// against the adapter tool on a pseudo-terminal, against the protocol's own minimum.

#include "AdapterTool.h"
#include "FakeFileDialogs.h"
#include "FakeMessageBoxes.h"
#include "platform/QtClock.h"
#include "platform/QtSerialPort.h"
#include "platform/QtSettingsStore.h"
#include "platform/Services.h"
#include "programmer/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void Measure(const char* name, QPushButton* button, double minimumMs) {
    QElapsedTimer wall;
    const double cpu0 = CpuSeconds();
    wall.start();
    button->click();
    const double ms = wall.nsecsElapsed() / 1e6;
    const double cpu = CpuSeconds() - cpu0;
    std::printf("%-8s wall %9.1f ms  minimum %8.1f ms  ratio %.4f  cpu %.3f s (%.2f%% of a core)\n",
                name, ms, minimumMs, ms / minimumMs, cpu, 100.0 * cpu * 1000.0 / ms);
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
    platform::QtSerialPort port;
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

    std::printf("512-byte block (family x), QSerialPort on a pseudo-terminal\n");
    dialogs.answers << image;
    Measure("PROGRAM", w.Command2, 10 + 10 + 40 + 512 * 2 + 23400);
    dialogs.answers << dir.filePath("read.bin");
    Measure("READ", w.Command1, 10 + 10 + 10 + 200 + 512 * 75);
    Measure("VERIFY", w.Command3, 10 + 10 + 10 + 200 + 512 * 75);
    for (const auto& box : messages.shown) {
        std::printf("message: %s\n", qPrintable(box.prompt));
    }
    return 0;
}

// tms370 as whole processes against the adapter tool on pseudo-terminals: a gang of four
// `program` runs on four ports against one alone, `program --skip-same` and `--keep` against
// the line's limit of one READ, and the median of repeated `read --fast` runs of a 512-byte
// block against that limit. First, in process, what keeping a 512-byte image's checksum fields
// right costs (`bench_cli checksums` measures only that).
#include "AdapterTool.h"
#include "ToolRuns.h"
#include "production/FieldLayout.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cstdio>
#include <sys/resource.h>

namespace {

// 30 ms of command gaps and 512 bytes of 10 bits at 9600 baud.
constexpr double LineLimitMs = 30 + 512 * 10 * 1000.0 / 9600;

QStringList ProgramArguments(const QString& device, const QString& image) {
    return {"program", "-p", device, "-d", "TMS370CX56A", "-i", image, "--fast", "-q"};
}

double RunTogether(const std::vector<QStringList>& runs) {
    return bench::RunTogether(QStringLiteral(TMS370_TOOL), runs).ms;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The median time of figuring a 512-byte image's checksum fields (a CRC-16 over the block
// holding a sum's field, the sum over 32 bytes) and writing them into it.
void ChecksumUpdates(const QTemporaryDir& dir, int repeats) {
    const QString path = dir.filePath("fields.ini");
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("[fields]\ncrc = 1FFEh:crc16:1E00h-1FFDh\nsum = 1E20h:sum8:1E00h-1E1Fh\n");
    file.close();
    QString why;
    const std::optional<production::FieldLayout> layout = production::ReadFieldLayout(path, &why);
    if (!layout) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        std::exit(1);
    }
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        QByteArray block(512, char(i));
        QElapsedTimer timer;
        timer.start();
        for (const auto& [address, bytes] :
             production::ChecksumUpdates(*layout, production::FieldImageOf(block, 0x1E00))) {
            block.replace(address - 0x1E00, bytes.size(), bytes);
        }
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("checksum fields of a 512-byte image figured and written: median of %d %.4f ms "
                "(target < 1 ms), ratio %.4f\n",
                repeats, Median(times), Median(times) / 1.0);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const bool checksumsOnly = argc > 1 && QByteArray(argv[1]) == "checksums";
    const int repeats = argc > 1 && !checksumsOnly ? std::max(1, atoi(argv[1])) : 15;
    QTemporaryDir dir;
    ChecksumUpdates(dir, 1001);
    if (checksumsOnly) {
        return 0;
    }
    std::array<AdapterTool, 4> tools;
    std::array<QString, 4> devices;
    for (size_t i = 0; i < tools.size(); ++i) {
        devices[i] = tools[i].Start(QStringLiteral(ADAPTER_SIM_TOOL), {});
        if (devices[i].isEmpty()) {
            std::fprintf(stderr, "the adapter tool did not start\n");
            return 1;
        }
    }
    const QString image = dir.filePath("image.bin");
    QFile f(image);
    f.open(QIODevice::WriteOnly);
    for (int i = 0; i < 512; ++i) {
        f.putChar(char(i * 7));
    }
    f.close();

    std::printf("tms370 processes against tms370-adapter-sim on pseudo-terminals\n");
    // A first run loads the program and its libraries from disk; none of the measured ones does.
    RunTogether(
        {{"read", "-p", devices[0], "-d", "x", "-o", dir.filePath("warm.bin"), "--fast", "-q"}});
    const double one = RunTogether({ProgramArguments(devices[0], image)});
    std::vector<QStringList> gang;
    for (const QString& device : devices) {
        gang.push_back(ProgramArguments(device, image));
    }
    const double four = RunTogether(gang);
    std::printf("program 512 bytes + read-back: one %8.1f ms, gang of four %8.1f ms, ratio %.4f "
                "(target <= 1.1)\n",
                one, four, four / one);

    // The chips hold the image now: --skip-same reads each and writes nothing, and --keep
    // costs one fast READ more than a plain program.
    std::vector<double> sames;
    for (int i = 0; i < repeats; ++i) {
        sames.push_back(RunTogether({ProgramArguments(devices[0], image) << "--skip-same"}));
    }
    const double same = Median(sames);
    std::printf("program --skip-same, the chip the same: median of %d %7.1f ms, line limit of one "
                "READ %.1f ms, ratio %.4f (target <= 1.2)\n",
                repeats, same, LineLimitMs, same / LineLimitMs);
    const double keep = RunTogether({ProgramArguments(devices[0], image) << "--keep"
                                                                         << "1E10h:16"});
    // PROGRAM's protocol floor: the command gaps, 2 ms a byte and the adapter's 23.4 s write.
    constexpr double ProgramFloorMs = 10 + 10 + 40 + 512 * 2 + 23400;
    std::printf("program --keep 1E10h:16: %.1f ms (%.1f ms more than without), line limit of one "
                "READ + PROGRAM's floor %.1f ms, ratio %.4f (target <= 1.2)\n",
                keep, keep - one, LineLimitMs + ProgramFloorMs,
                keep / (LineLimitMs + ProgramFloorMs));

    std::vector<double> starts, reads;
    const double cpu0 = bench::ChildCpuSeconds();
    for (int i = 0; i < repeats; ++i) {
        reads.push_back(RunTogether({{"read", "-p", devices[1], "-d", "TMS370CX56A", "-o",
                                      dir.filePath("read.bin"), "--fast", "-q"}}));
    }
    const double cpu = (bench::ChildCpuSeconds() - cpu0) / repeats;
    for (int i = 0; i < repeats; ++i) {
        starts.push_back(RunTogether({{"--version"}}));
    }
    const double read = Median(reads);
    std::printf("read --fast 512 bytes: median of %d %7.1f ms, line limit %.1f ms, ratio %.4f "
                "(target <= 1.2); %.3f s processor time a run\n",
                repeats, read, LineLimitMs, read / LineLimitMs, cpu);
    std::printf("process start and end alone (tms370 --version): median %.1f ms\n", Median(starts));
    return 0;
}

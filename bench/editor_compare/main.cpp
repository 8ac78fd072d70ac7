// Speed and memory of the editor's compare on two cached 1 GiB files that are the same but for
// their last byte, so every byte is read: Compare, and the next difference from the start,
// against `cmp` on the same files in the same run (target: at least cmp's throughput), the
// median of five rounds; and the peak resident memory (bounded whatever the file size).
// Usage: bench_editor_compare <folder for the test files> [MiB read at a time]
#include "BenchFolder.h"
#include "editor/model/ImageCompare.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr qint64 MiB = 1 << 20;
constexpr qint64 Size = 1024 * MiB;

// 1 GiB of random bytes; the second file's last byte differs.
bool Make(const QString& path, bool changeLast) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    QByteArray chunk(MiB, Qt::Uninitialized);
    QRandomGenerator random(11);
    for (qint64 i = 0; i < Size / MiB; ++i) {
        random.fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
        if (changeLast && i == Size / MiB - 1) {
            chunk[chunk.size() - 1] = static_cast<char>(chunk[chunk.size() - 1] ^ 0x5A);
        }
        if (file.write(chunk) != chunk.size()) {
            return false;
        }
    }
    return true;
}

// Reads a file through once, so the rounds find it cached.
void Warm(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    QByteArray chunk(4 * MiB, Qt::Uninitialized);
    while (file.read(chunk.data(), chunk.size()) > 0) {
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const std::optional<QString> folder = BenchFolder(argc, argv);
    if (!folder) {
        return 2;
    }
    const qint64 chunk =
        argc > 2 ? QByteArray(argv[2]).toLongLong() * MiB : ImageCompare::ChunkSize;
    const QString ours = *folder + QStringLiteral("/compare-a.bin");
    const QString theirs = *folder + QStringLiteral("/compare-b.bin");
    if (!Make(ours, false) || !Make(theirs, true)) {
        std::fprintf(stderr, "cannot make the files in %s\n", qPrintable(*folder));
        return 1;
    }
    Warm(ours);
    Warm(theirs);
    std::printf("reading %lld MiB at a time; peak resident memory before: %.1f MiB\n", chunk / MiB,
                PeakRssMiB());

    const double gb = Size / 1e9;
    std::vector<double> compareRatios, nextRatios, cmpRates, compareRates, nextRates;
    for (int round = 1; round <= 5; ++round) {
        QElapsedTimer timer;
        timer.start();
        const int cmp =
            QProcess::execute(QStringLiteral("cmp"), {QStringLiteral("-s"), ours, theirs});
        const double cmpSeconds = Seconds(timer);
        if (cmp != 1) {
            std::fprintf(stderr, "cmp did not find the difference (exit %d)\n", cmp);
            return 1;
        }

        QFile a(ours);
        QFile b(theirs);
        if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot open the files\n");
            return 1;
        }
        timer.start();
        const ImageCompare::Result result = ImageCompare::Compare(a, b, 16, {}, chunk);
        const double compareSeconds = Seconds(timer);
        timer.start();
        const std::optional<qint64> next = ImageCompare::NextDifference(a, b, -1, true, {}, chunk);
        const double nextSeconds = Seconds(timer);
        if (result.differing != 1 || result.first.size() != 1 ||
            result.first[0].offset != Size - 1 || next != Size - 1) {
            std::fprintf(stderr, "the compare did not find the one difference\n");
            return 1;
        }
        std::printf("round %d: cmp %.3f s (%.2f GB/s); Compare %.3f s (%.2f GB/s), %.2f of cmp's "
                    "throughput; next difference %.3f s (%.2f GB/s), %.2f of cmp's\n",
                    round, cmpSeconds, gb / cmpSeconds, compareSeconds, gb / compareSeconds,
                    cmpSeconds / compareSeconds, nextSeconds, gb / nextSeconds,
                    cmpSeconds / nextSeconds);
        cmpRates.push_back(gb / cmpSeconds);
        compareRates.push_back(gb / compareSeconds);
        nextRates.push_back(gb / nextSeconds);
        compareRatios.push_back(cmpSeconds / compareSeconds);
        nextRatios.push_back(cmpSeconds / nextSeconds);
    }
    std::printf("median: cmp %.2f GB/s; Compare %.2f GB/s, %.2f of cmp's throughput; next "
                "difference %.2f GB/s, %.2f of cmp's\n",
                Median(cmpRates), Median(compareRates), Median(compareRatios), Median(nextRates),
                Median(nextRatios));
    QFile::remove(ours);
    QFile::remove(theirs);
    std::printf("peak resident memory: %.1f MiB\n", PeakRssMiB());
    return 0;
}

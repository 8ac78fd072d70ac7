// Speed and memory of the editor's copies: a 1 GiB file opened into the working image and
// written back through the Memory window, against `cp` of the same file on the same disk
// in the same run (target: at least 0.8 of cp's throughput), and the peak resident memory
// (target: under 64 MiB, whatever the file size).
// Usage: bench_editor_copy <folder for the test files>   (run with QT_QPA_PLATFORM=offscreen)
#include "BenchServices.h"
#include "common/Module1.h"
#include "editor/frmEditor.h"

#include <QApplication>
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

double Seconds(const QElapsedTimer& timer) {
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const std::optional<QString> folderArgument = BenchFolder(argc, argv);
    if (!folderArgument) {
        return 2;
    }
    const QString folder = *folderArgument;
    Module1::AppFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');

    // 1 GiB of data that no piece of is zeros, so every byte is really copied.
    const QString source = folder + QStringLiteral("/data1g.bin");
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::fprintf(stderr, "cannot make %s\n", qPrintable(source));
            return 1;
        }
        QByteArray chunk(MiB, Qt::Uninitialized);
        QRandomGenerator random(7);
        for (qint64 i = 0; i < Size / MiB; ++i) {
            random.fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
            file.write(chunk);
        }
    }
    std::printf("peak resident memory before the editor: %.1f MiB\n", PeakRssMiB());

    BenchServices bench;
    const QString copy = folder + QStringLiteral("/cp-copy.bin");
    const QString copyA = folder + QStringLiteral("/cp-a.bin");
    const QString copyB = folder + QStringLiteral("/cp-b.bin");
    const auto run = [](const QString& program, const QStringList& arguments) {
        QProcess::execute(program, arguments);
    };
    const auto sync = [&] { run(QStringLiteral("sync"), {}); };
    std::vector<double> openRatios;
    std::vector<double> doneRatios;
    for (int round = 1; round <= 5; ++round) {
        QElapsedTimer timer;
        // Each step starts with nothing waiting to be written, so none pays for another.
        // Opening is a copy into a new file: against cp into a new file.
        sync();
        timer.start();
        run(QStringLiteral("cp"), {source, copyA});
        const double cp = Seconds(timer);
        // Done replaces the user's file durably (written, synced, then put in its place) and
        // deletes the working image: against cp over an existing file, synced, and rm.
        run(QStringLiteral("cp"), {source, copyB});
        sync();
        timer.start();
        run(QStringLiteral("cp"), {source, copyB});
        run(QStringLiteral("sync"), {copyB});
        run(QStringLiteral("rm"), {copyA});
        const double cpDone = Seconds(timer);
        QFile::remove(copyB);
        sync();

        auto* editor = new frmEditor(bench.services, [] {});
        editor->show();
        bench.dialogs.answers = {source};
        timer.start();
        editor->OpenWithDialog();
        const double open = Seconds(timer);
        if (!editor->FileLoaded) {
            std::fprintf(stderr, "the open failed\n");
            return 1;
        }
        editor->SaveData(0, 0); // one edit, so Done has something to write
        sync();
        timer.start();
        editor->mnuDone_Click(); // the question is answered Yes
        const double done = Seconds(timer);
        delete editor;

        std::printf("round %d: open %.2f s (%.0f MiB/s) vs cp %.2f s: %.2f of cp's throughput; "
                    "Done %.2f s vs cp+sync+rm %.2f s: %.2f\n",
                    round, open, Size / MiB / open, cp, cp / open, done, cpDone, cpDone / done);
        openRatios.push_back(cp / open);
        doneRatios.push_back(cpDone / done);
    }
    std::sort(openRatios.begin(), openRatios.end());
    std::sort(doneRatios.begin(), doneRatios.end());
    std::printf("median: open %.2f of cp's throughput, Done %.2f of cp+sync+rm's\n",
                openRatios[openRatios.size() / 2], doneRatios[doneRatios.size() / 2]);
    QFile::remove(source);
    std::printf("peak resident memory: %.1f MiB\n", PeakRssMiB());
    return 0;
}

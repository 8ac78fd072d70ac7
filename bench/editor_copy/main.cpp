// Speed and memory of the editor's copies, Find, Fill, Copy and Paste, through the Memory
// window, on a 1 GiB file: open (copy into the working image) and Save (atomic replace of the
// user's file) against `cp --reflink=never` of the same file on the same disk in the same run
// (target: each at least 0.95 of cp's throughput; Save is durable, so it is also set against
// a durable replace by the tools, cp + sync + mv); Find over the cached image (target:
// 1 GB/s); Fill of the whole file against `dd if=/dev/zero conv=notrunc,fsync bs=1M` over
// it (target: at least 0.8 of dd's throughput); Copy and Paste of a 1 MiB selection (target:
// under 50 ms each); and the peak resident memory (target: at most 64 MiB, whatever the size).
// Usage: bench_editor_copy <folder for the test files>   (run with QT_QPA_PLATFORM=offscreen)
#include "BenchServices.h"
#include "common/Module1.h"
#include "editor/frmEditor.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
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

void Run(const QString& program, const QStringList& arguments) {
    QProcess::execute(program, arguments);
}

// Nothing waits to be written when a step starts, so no step pays for another.
void Sync() {
    Run(QStringLiteral("sync"), {});
}

// Seconds of one Find over the whole image (the pattern is nowhere; the question whether to
// go on from the other end is answered No).
double TimeFind(BenchServices& bench, frmEditor& editor, bool hex, bool matchCase, bool forward) {
    QString why;
    const SearchPattern pattern =
        hex ? *SearchPattern::FromHex(QStringLiteral("DE AD BE EF 01 23 45 67"), &why)
            : *SearchPattern::FromText(QStringLiteral("no such words"), matchCase, &why);
    bench.messages.answers = {platform::MsgAnswer::No}; // not from the other end again
    QElapsedTimer timer;
    timer.start();
    editor.Session().Find(pattern, forward);
    return Seconds(timer);
}

void Trigger(frmEditor& editor, const char* action) {
    editor.findChild<QAction*>(QLatin1String(action))->trigger();
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const std::optional<QString> folderArgument = BenchFolder(argc, argv);
    if (!folderArgument) {
        return 2;
    }
    const QString folder = *folderArgument;
    Module1::ProgramPlaces places;
    places.appFolder = QCoreApplication::applicationDirPath() + QLatin1Char('/');

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
    const QString fresh = folder + QStringLiteral("/cp-fresh.bin");
    const QStringList cp = {QStringLiteral("--reflink=never"), source, copy};
    std::vector<double> openRatios, saveRatios, replaceRatios, findRates, fillRatios, copyMs,
        pasteMs;
    for (int round = 1; round <= 5; ++round) {
        QElapsedTimer timer;
        // cp into a new file, as the open copies into a new working image.
        Sync();
        timer.start();
        Run(QStringLiteral("cp"), cp);
        const double cpNew = Seconds(timer);
        QFile::remove(copy);
        // cp over an existing file; and a durable atomic replace by the tools, as Save's is:
        // cp to a new file, sync it, mv it over the old one.
        Run(QStringLiteral("cp"), cp);
        Sync();
        timer.start();
        Run(QStringLiteral("cp"), cp);
        const double cpOver = Seconds(timer);
        Sync();
        timer.start();
        Run(QStringLiteral("cp"), {QStringLiteral("--reflink=never"), source, fresh});
        Run(QStringLiteral("sync"), {fresh});
        Run(QStringLiteral("mv"), {fresh, copy});
        const double replace = Seconds(timer);
        QFile::remove(copy);
        Sync();

        auto* editor = new frmEditor(bench.services, places, [] {});
        editor->show();
        bench.dialogs.answers = {source};
        timer.start();
        Trigger(*editor, "sm1_0");
        const double open = Seconds(timer);
        EditorDocument& document = editor->Document();
        EditSession& session = editor->Session();
        if (!document.Loaded()) {
            std::fprintf(stderr, "the open failed\n");
            return 1;
        }
        session.TypeByte(static_cast<unsigned char>(round)); // so Save has something to write
        Sync();
        timer.start();
        Trigger(*editor, "mnuSave");
        const double save = Seconds(timer);
        if (document.Modified()) {
            std::fprintf(stderr, "the save failed\n");
            return 1;
        }
        const double findHex = TimeFind(bench, *editor, true, true, true);
        const double findText = TimeFind(bench, *editor, false, false, true);
        session.Move(Navigation::Key::End, true, false);
        const double findBack = TimeFind(bench, *editor, true, true, false);

        if (round == 1) {
            // The editor's own figure: open, Save and Find hold no file's bytes in memory.
            std::printf("peak resident memory before Copy and Paste: %.1f MiB\n", PeakRssMiB());
        }
        // Copy and Paste of 1 MiB from the middle, through the clipboard (3 MiB of hex text).
        session.MoveTo(Size / 2, false);
        session.MoveTo(Size / 2 + MiB - 1, true);
        timer.start();
        Trigger(*editor, "mnuCopy");
        const double copied = Seconds(timer);
        session.MoveTo(Size / 4, false);
        timer.start();
        Trigger(*editor, "mnuPaste");
        const double pasted = Seconds(timer);
        if (QApplication::clipboard()->text().size() != 3 * MiB - 1 || !document.Modified()) {
            std::fprintf(stderr, "copy and paste failed\n");
            return 1;
        }

        // dd writes zeros over the whole file and waits for the disk; Fill writes over the
        // working image (and keeps the old bytes for Undo), as fast as the cache takes them.
        Sync();
        timer.start();
        Run(QStringLiteral("dd"),
            {QStringLiteral("if=/dev/zero"), QStringLiteral("of=") + copy, QStringLiteral("bs=1M"),
             QStringLiteral("count=1024"), QStringLiteral("conv=notrunc,fsync"),
             QStringLiteral("status=none")});
        const double dd = Seconds(timer);
        QFile::remove(copy);
        Sync();
        session.SelectAll();
        timer.start();
        if (!session.Fill(QByteArray(1, '\x5A'))) {
            std::fprintf(stderr, "the fill failed\n");
            return 1;
        }
        const double fill = Seconds(timer);
        Trigger(*editor, "mnuUndo");
        bench.messages.answers = {platform::MsgAnswer::No}; // Done: the edits are not wanted
        Trigger(*editor, "mnuDone");
        delete editor;

        const double gb = Size / 1e9;
        std::printf("round %d: open %.2f s vs cp %.2f s: %.2f; Save %.2f s vs cp %.2f s: %.2f, "
                    "vs cp+sync+mv %.2f s: %.2f; Find hex %.2f GB/s, text any case %.2f GB/s, "
                    "backward %.2f GB/s; Fill %.2f s vs dd %.2f s: %.2f; Copy 1 MiB %.1f ms, "
                    "Paste %.1f ms\n",
                    round, open, cpNew, cpNew / open, save, cpOver, cpOver / save, replace,
                    replace / save, gb / findHex, gb / findText, gb / findBack, fill, dd, dd / fill,
                    copied * 1e3, pasted * 1e3);
        fillRatios.push_back(dd / fill);
        copyMs.push_back(copied * 1e3);
        pasteMs.push_back(pasted * 1e3);
        openRatios.push_back(cpNew / open);
        saveRatios.push_back(cpOver / save);
        replaceRatios.push_back(replace / save);
        findRates.push_back(gb / std::max({findHex, findText, findBack}));
    }
    std::printf("median: open %.2f of cp's throughput; Save %.2f of cp's, %.2f of "
                "cp+sync+mv's; Find (slowest kind) %.2f GB/s; Fill %.2f of dd's; Copy %.1f ms, "
                "Paste %.1f ms\n",
                Median(openRatios), Median(saveRatios), Median(replaceRatios), Median(findRates),
                Median(fillRatios), Median(copyMs), Median(pasteMs));
    QFile::remove(source);
    std::printf("peak resident memory: %.1f MiB\n", PeakRssMiB());
    return 0;
}

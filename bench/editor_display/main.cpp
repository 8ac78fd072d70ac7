// Speed of the page display: FillGrid and MoveLast on a sparse 8 GiB file (targets: median
// under 1 ms, worst under 5 ms), also with the data inspector and the fields panel shown;
// paging through a 100 MiB file with Page Down; Update Checksums of a 512-byte image.
// Usage: bench_editor_display <folder for the test files>   (run with QT_QPA_PLATFORM=offscreen)
#include "BenchServices.h"
#include "common/Module1.h"
#include "editor/frmEditor.h"
#include "widgets/PictureBox.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QPushButton>
#include <QRandomGenerator>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Stats {
    double median;
    double worst;
};

Stats Summarise(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

template <typename F> std::vector<double> Time(int runs, F&& step) {
    std::vector<double> ms;
    ms.reserve(runs);
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        step(i);
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    return ms;
}

// A layout like a product's: a few values and two checksums over the block.
void WriteLayout(const QString& path) {
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write("[fields]\n"
               "gain = 1E10h:i16le\n"
               "serial = 1FF6h:u32be\n"
               "mac = 1FF0h:bytes:6\n"
               "sum = 1FFAh:sum16:1E00h-1EFFh\n"
               "crc = 1FFEh:crc16:1E00h-1FFDh\n");
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
    const auto trigger = [](frmEditor& editor, const char* action) {
        editor.findChild<QAction*>(QLatin1String(action))->trigger();
    };

    // A sparse 8 GiB file with a little data scattered through it.
    const QString sparse = folder + QStringLiteral("/sparse8g.bin");
    const qint64 eight = qint64(8) << 30;
    {
        QFile file(sparse);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || !file.resize(eight)) {
            std::fprintf(stderr, "cannot make %s\n", qPrintable(sparse));
            return 1;
        }
        QRandomGenerator random(1);
        for (int i = 0; i < 1000; ++i) {
            file.seek(random.bounded(eight - 4096));
            file.write(QByteArray(4096, char(random.bounded(256))));
        }
    }
    BenchServices bench;
    const QString layout = folder + QStringLiteral("/fields.layout");
    WriteLayout(layout);
    {
        frmEditor editor(bench.services, places, [] {});
        editor.show();
        QElapsedTimer open;
        open.start();
        bench.dialogs.answers = {sparse};
        trigger(editor, "sm1_0");
        std::printf("open sparse 8 GiB: %.0f ms\n", open.nsecsElapsed() / 1e6);

        QRandomGenerator random(2);
        const Stats fill = Summarise(Time(2000, [&](int) {
            editor.Session().ShowPage(1 + 16 * random.bounded((eight - 320) / 16));
            editor.Refresh();
        }));
        std::printf("page drawn, random pages of 8 GiB: median %.3f ms, worst %.3f ms\n",
                    fill.median, fill.worst);
        // The same with the inspector following the cursor and the fields of a layout shown.
        trigger(editor, "mnuDataInspector");
        trigger(editor, "mnuFields");
        bench.dialogs.answers = {layout};
        editor.findChild<QPushButton*>(QStringLiteral("fieldsOpen"))->click();
        const Stats panels = Summarise(Time(2000, [&](int) {
            editor.Session().ShowPage(1 + 16 * random.bounded((eight - 320) / 16));
            editor.Refresh();
        }));
        std::printf("page drawn with the inspector and fields shown: median %.3f ms (%.2f times "
                    "without), worst %.3f ms\n",
                    panels.median, panels.median / fill.median, panels.worst);
        const Stats last = Summarise(Time(1000, [&](int i) {
            editor.Session().Move(i % 2 == 0 ? Navigation::Key::End : Navigation::Key::Home, true,
                                  false);
            editor.Refresh();
        }));
        std::printf("Ctrl+End / Ctrl+Home on 8 GiB: median %.3f ms, worst %.3f ms\n", last.median,
                    last.worst);
        bench.messages.shown = 0;
        trigger(editor, "mnuDone");
    }
    QFile::remove(sparse);

    // Update Checksums of a 512-byte image: a byte changed, then the command, again and again.
    const QString small = folder + QStringLiteral("/block512.bin");
    {
        QFile file(small);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(QByteArray(512, '\x5A'));
    }
    {
        frmEditor editor(bench.services, places, [] {});
        editor.show();
        bench.dialogs.answers = {small};
        trigger(editor, "sm1_0");
        bench.dialogs.answers = {layout};
        editor.findChild<QPushButton*>(QStringLiteral("fieldsOpen"))->click();
        // With the checksum fields off the page shown, and with them on it (drawn again).
        for (const bool shown : {false, true}) {
            editor.Session().MoveTo(shown ? 512 : 1, false);
            editor.Refresh();
            std::vector<double> ms;
            QElapsedTimer timer;
            for (int i = 0; i < 1000; ++i) {
                editor.Document().WriteRanges({{1 + i % 400, QByteArray(1, char(i))}});
                timer.start();
                trigger(editor, "mnuUpdateChecksums");
                ms.push_back(timer.nsecsElapsed() / 1e6);
            }
            const Stats update = Summarise(ms);
            std::printf("Update Checksums of a 512-byte image, the fields %s the page: median "
                        "%.3f ms, worst %.3f ms\n",
                        shown ? "on" : "off", update.median, update.worst);
        }
        bench.messages.shown = 0;
        trigger(editor, "mnuDone");
        bench.messages.shown = 0;
    }
    QFile::remove(small);

    // 100 MiB of real data, paged with the Page Down key from the first page to the last.
    const QString hundred = folder + QStringLiteral("/data100m.bin");
    {
        QFile file(hundred);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        QByteArray chunk(1 << 20, Qt::Uninitialized);
        QRandomGenerator random(3);
        for (int i = 0; i < 100; ++i) {
            random.fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
            file.write(chunk);
        }
    }
    {
        frmEditor editor(bench.services, places, [] {});
        editor.show();
        editor.activateWindow();
        bench.dialogs.answers = {hundred};
        trigger(editor, "sm1_0");
        QApplication::processEvents();
        PictureBox* hex = editor.findChild<PictureBox*>(QStringLiteral("PicHex"));
        hex->setFocus();
        QApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        qint64 pages = 0;
        qint64 before = 0;
        while (editor.Session().View().pageStart != before) {
            before = editor.Session().View().pageStart;
            QKeyEvent down(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
            QKeyEvent up(QEvent::KeyRelease, Qt::Key_PageDown, Qt::NoModifier);
            QApplication::sendEvent(hex, &down);
            QApplication::sendEvent(hex, &up);
            ++pages;
        }
        const double seconds = timer.nsecsElapsed() / 1e9;
        std::printf("Page Down through 100 MiB: %lld key presses, %.2f s (%.3f ms a page), "
                    "last page at %lld\n",
                    pages, seconds, seconds * 1000 / pages, editor.Session().View().pageStart);

        // Random pages again while a compare with a copy that differs here and there is
        // under way: each page marks its differing bytes.
        const QString other = folder + QStringLiteral("/data100m-other.bin");
        QFile::remove(other);
        QFile::copy(hundred, other);
        {
            QFile file(other);
            file.open(QIODevice::ReadWrite);
            QRandomGenerator random(4);
            for (int i = 0; i < 1000; ++i) {
                file.seek(random.bounded(100 << 20));
                file.write("\x5A");
            }
        }
        bench.dialogs.answers = {other};
        trigger(editor, "mnuCompare");
        QRandomGenerator random(5);
        const Stats compared = Summarise(Time(2000, [&](int) {
            editor.Session().ShowPage(1 + 16 * random.bounded(((100 << 20) - 320) / 16));
            editor.Refresh();
        }));
        std::printf("page drawn while comparing, random pages of 100 MiB: median %.3f ms, worst "
                    "%.3f ms\n",
                    compared.median, compared.worst);
        trigger(editor, "mnuDone");
        QFile::remove(other);
    }
    QFile::remove(hundred);
    std::printf("peak resident memory: %.1f MiB\n", PeakRssMiB());
    return 0;
}

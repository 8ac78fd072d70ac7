// Files a stranger can shape, at sizes no one writes by hand: a 10 MB line in the settings or
// the language file, a 5000-character port, binary bytes (a file of gigabytes given as an
// image: tst_core_operations).
// The program starts, or refuses naming the file, without its memory growing with the file.
#include "../common/TableRows.h"
#include "ImageFiles.h"
#include "common/Module1.h"
#include "core/PortDevices.h"
#include "editor/LangFile.h"
#include "platform/QtSettingsStore.h"

#include <QtTest>

namespace {

// A field of /proc/self/status ("VmRSS", "VmHWM") in MiB; -1 when there is none.
long StatusMiB(const char* field) {
    for (const QByteArray& line : ReadFile(QStringLiteral("/proc/self/status")).split('\n')) {
        if (line.startsWith(QByteArray(field) + ':')) {
            return line.mid(qstrlen(field) + 1).trimmed().split(' ').value(0).toLong() / 1024;
        }
    }
    return -1;
}

// How far this process's memory rose above what it held when the watch began: Linux lets
// the peak be set back to the present, so each case is measured alone (0 where it cannot).
struct PeakWatch {
    QFile clear{QStringLiteral("/proc/self/clear_refs")};
    const bool valid =
        clear.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && clear.write("5") == 1;
    const long start = StatusMiB("VmRSS");
    long RiseMiB() const { return valid && start >= 0 ? StatusMiB("VmHWM") - start : 0; }
};

// The bound on what a hostile file may cost: today tms370 peaks at 10-95 MiB with a 10 MB
// settings line (95 for a 10 MB port, which it lists), and reading such a file in process
// costs under 40 MiB. AddressSanitizer keeps freed memory aside, so its builds get more.
#if defined(__SANITIZE_ADDRESS__)
constexpr long MemoryBoundMiB = 768;
#else
constexpr long MemoryBoundMiB = 128;
#endif

constexpr qsizetype TenMB = 10 * 1000 * 1000;

} // namespace

class LimitsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        for (int n = 1; n <= 8; ++n) {
            qunsetenv(qPrintable(QStringLiteral("VIDAVEV_COMM%1").arg(n)));
        }
    }

    // A hostile settings file (the VidAvev.ini of a user's folder): its text before, a 10 MB
    // run of one character (none: 0), its text after. The window program's start and tms370
    // (its ports, a device command reading FastReceive) take it without their memory growing.
    void hostileSettings_data() {
        Columns<QByteArray, char, QByteArray>({"before", "filler", "after"});
        // clang-format off
        QTest::newRow("10 MB Language") << QByteArray("[General]\nLanguage=") << 'L' << QByteArray("\n");
        QTest::newRow("10 MB LastDir") << QByteArray("[General]\nLastDir=/") << 'd' << QByteArray("\n");
        QTest::newRow("10 MB FastReceive") << QByteArray("[General]\nFastReceive=") << '1' << QByteArray("\n");
        QTest::newRow("10 MB Comm1") << QByteArray("[Ports]\nComm1=") << 'p' << QByteArray("\n");
        QTest::newRow("10 MB section name") << QByteArray("[") << 's' << QByteArray("]\nComm1=x\n");
        QTest::newRow("10 MB key") << QByteArray("[Ports]\n") << 'k' << QByteArray("=1\n");
        QTest::newRow("10 MB of escapes") << QByteArray("[Ports]\nComm1=\"") << '\\' << QByteArray("\"\n");
        QTest::newRow("10 MB binary") << Pattern(TenMB) << '\0' << QByteArray();
        QTest::newRow("5000-character Comm1") << "[General]\nLanguage=English.lpk\n[Ports]\nComm1=/dev/" + QByteArray(4995, 'u') << '\0' << QByteArray("\n");
        // Control codes, a zero byte, bytes that are no UTF-8, a terminal's colour sequence.
        QTest::newRow("binary values") << QByteArray("[General]\nLanguage=\x01\x02\xff\xfe\0x\n[Ports]\nComm1=\x1b[31m\xc3\x28\n", 48) << '\0' << QByteArray();
        // clang-format on
    }
    void hostileSettings() {
        const auto [before, filler, after] =
            Row<QByteArray, char, QByteArray>({"before", "filler", "after"});
        QTemporaryDir home;
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral("config/VidAvev")));
        const QString path = home.filePath(QStringLiteral("config/VidAvev/VidAvev.ini"));
        WriteFile(path, before + QByteArray(filler ? TenMB : 0, filler) + after);
        const PeakWatch watch;
        {
            const platform::QtSettingsStore settings(path);
            const Module1::ProgramPlaces places = Module1::ProgramPlacesOf(home.path(), settings);
            QVERIFY(!places.languageFile.contains(u'/'));
            QVERIFY(places.LanguageFilePath().startsWith(places.appFolder));
            for (int n = 1; n <= 8; ++n) {
                QVERIFY(!core::PortItem(settings, n).device.isEmpty());
            }
        }
        QVERIFY2(watch.RiseMiB() < MemoryBoundMiB, qPrintable(QString::number(watch.RiseMiB())));
        QByteArray out;
        long peak = 0;
        QCOMPARE(RunTool(home, {"ports"}, out, peak), 0);
        QVERIFY2(peak > 0 && peak < MemoryBoundMiB, qPrintable(QString::number(peak)));
        QVERIFY2(out.startsWith("Port") && out.contains("Comm8"), out.constData());
        // A device command reads FastReceive too; the simulated adapter needs no port. The
        // simulated chip is erased: a mismatch, found and told.
        const QString image = home.filePath(QStringLiteral("image.bin"));
        WriteFile(image, QByteArray(256, '\x5A'));
        QCOMPARE(RunTool(home, {"verify", "-p", "sim", "-d", "y", "-i", image, "-q", "--fast"}, out,
                         peak),
                 1);
        QVERIFY2(peak > 0 && peak < MemoryBoundMiB, qPrintable(QString::number(peak)));
    }

    // The language file is read a record at a time: a 10 MB "line" costs one record.
    void languageFileOfOneHugeLine_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("10 MB of text") << QByteArray(TenMB, 'a');
        QTest::newRow("10 MB of binary") << Pattern(TenMB);
        QTest::newRow("10 MB of newlines") << QByteArray(TenMB, '\n');
    }
    void languageFileOfOneHugeLine() {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("English.lpk"));
        WriteFile(path, content);
        content.clear();
        const PeakWatch watch;
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const int records = int(file.size() / Module1::LangRecordLength);
        for (const int n : {1, 2, 33, 100, records, records + 1}) {
            const std::optional<QString> text = Module1::ReadLangRecord(file, n);
            QVERIFY(!text || text->size() <= Module1::LangTextLength);
        }
        // A record is read alone, never the file.
        QVERIFY(watch.RiseMiB() < 8);
    }

private:
    // tms370 with its settings under home; its exit code, -1 when it does not end in 10 s; its
    // output in out; peakMiB: the most memory it held.
    static int RunTool(const QTemporaryDir& home, const QStringList& arguments, QByteArray& out,
                       long& peakMiB) {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        tool.setProcessEnvironment(env);
        const QString peakFile = home.filePath(QStringLiteral("peak"));
        tool.start(QStringLiteral(PEAK_RSS),
                   QStringList{peakFile, QStringLiteral(TMS370_TOOL)} + arguments);
        const bool ended = tool.waitForFinished(10000);
        if (!ended) {
            tool.kill();
            tool.waitForFinished();
        }
        out = tool.readAllStandardOutput();
        peakMiB = ReadFile(peakFile).trimmed().toLong() / 1024;
        return ended && tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    }
};

QTEST_MAIN(LimitsTest)
#include "tst_limits.moc"

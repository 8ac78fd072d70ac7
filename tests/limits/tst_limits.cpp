// Files a stranger can shape, at sizes no one writes by hand: a 10 MB line in the settings or
// the language file, a 5000-character port, binary bytes, an "Intel HEX" file of gigabytes.
// The program starts, or refuses naming the file, without its memory growing with the file.
#include "common/Module1.h"
#include "core/PortDevices.h"
#include "editor/LangFile.h"
#include "platform/QtSettingsStore.h"

#include <QBuffer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A field of /proc/self/status ("VmRSS", "VmHWM") in MiB; -1 when there is none.
long StatusMiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(QByteArray(field) + ':')) {
            return line.mid(qstrlen(field) + 1).trimmed().split(' ').value(0).toLong() / 1024;
        }
    }
    return -1;
}

// How far this process's memory rose above what it held when the watch began: Linux lets
// the peak be set back to the present, so each case is measured alone.
class PeakWatch {
public:
    PeakWatch() {
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        valid_ = clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
        start_ = StatusMiB("VmRSS");
    }
    bool Valid() const { return valid_ && start_ >= 0; }
    long RiseMiB() const { return StatusMiB("VmHWM") - start_; }

private:
    bool valid_ = false;
    long start_ = -1;
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

QByteArray Filler(char c) {
    return QByteArray(TenMB, c);
}

// Ten megabytes of every byte value over and over.
QByteArray BinaryBytes() {
    QByteArray bytes(TenMB, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        bytes[i] = char(i * 131 % 256);
    }
    return bytes;
}

void Write(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

// The hostile settings files, each as the VidAvev.ini a user's folder would hold; made when
// a test needs one, so that no more than one is held at a time.
QByteArray HostileSettings(const QString& kind) {
    if (kind == QLatin1String("10 MB Language")) {
        return "[General]\nLanguage=" + Filler('L') + "\n";
    }
    if (kind == QLatin1String("10 MB LastDir")) {
        return "[General]\nLastDir=/" + Filler('d') + "\n";
    }
    if (kind == QLatin1String("10 MB FastReceive")) {
        return "[General]\nFastReceive=" + Filler('1') + "\n";
    }
    if (kind == QLatin1String("10 MB Comm1")) {
        return "[Ports]\nComm1=" + Filler('p') + "\n";
    }
    if (kind == QLatin1String("10 MB section name")) {
        return "[" + Filler('s') + "]\nComm1=x\n";
    }
    if (kind == QLatin1String("10 MB key")) {
        return "[Ports]\n" + Filler('k') + "=1\n";
    }
    if (kind == QLatin1String("10 MB of escapes")) {
        return "[Ports]\nComm1=\"" + Filler('\\') + "\"\n";
    }
    if (kind == QLatin1String("10 MB binary")) {
        return BinaryBytes();
    }
    if (kind == QLatin1String("5000-character Comm1")) {
        return "[General]\nLanguage=English.lpk\n[Ports]\nComm1=/dev/" + QByteArray(4995, 'u') +
               "\n";
    }
    // Control codes, a zero byte, bytes that are no UTF-8, a terminal's colour sequence.
    static const char binary[] =
        "[General]\nLanguage=\x01\x02\xff\xfe\x00x\n[Ports]\nComm1=\x1b[31m\xc3\x28\n";
    return QByteArray(binary, sizeof binary - 1);
}

void AddSettingsRows() {
    QTest::addColumn<QString>("kind");
    for (const char* kind : {"10 MB Language", "10 MB LastDir", "10 MB FastReceive", "10 MB Comm1",
                             "10 MB section name", "10 MB key", "10 MB of escapes", "10 MB binary",
                             "5000-character Comm1", "binary values"}) {
        QTest::newRow(kind) << QString::fromLatin1(kind);
    }
}

} // namespace

class LimitsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        for (int n = 1; n <= 8; ++n) {
            qunsetenv(qPrintable(QStringLiteral("VIDAVEV_COMM%1").arg(n)));
        }
    }

    // What the window program does with its settings at start and when it opens the editor.
    void settingsReadAtStart_data() { AddSettingsRows(); }
    void settingsReadAtStart() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("VidAvev.ini"));
        Write(path, HostileSettings(kind));
        const PeakWatch watch;
        {
            const platform::QtSettingsStore settings(path);
            const Module1::ProgramPlaces places = Module1::ProgramPlacesOf(dir.path(), settings);
            QVERIFY(!places.languageFile.contains(u'/'));
            QVERIFY(places.LanguageFilePath().startsWith(places.appFolder));
            (void)settings.GetSetting(QStringLiteral("General"), QStringLiteral("LastDir"));
            (void)settings.GetSetting(QStringLiteral("General"), QStringLiteral("FastReceive"));
            for (int n = 1; n <= 8; ++n) {
                QVERIFY(!core::PortItem(settings, n).device.isEmpty());
            }
        }
        if (watch.Valid()) {
            QVERIFY2(watch.RiseMiB() < MemoryBoundMiB,
                     qPrintable(QStringLiteral("%1 MiB").arg(watch.RiseMiB())));
        }
    }

    // tms370 reads the same settings (Ports, FastReceive) for ports and every device command.
    void toolStartsWithHostileSettings_data() { AddSettingsRows(); }
    void toolStartsWithHostileSettings() {
        QFETCH(QString, kind);
        QTemporaryDir home;
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral("config/VidAvev")));
        Write(home.filePath(QStringLiteral("config/VidAvev/VidAvev.ini")), HostileSettings(kind));
        QByteArray out;
        QByteArray err;
        long peak = 0;
        QCOMPARE(RunTool(home, {QStringLiteral("ports")}, out, err, peak), 0);
        QVERIFY2(peak > 0 && peak < MemoryBoundMiB, qPrintable(QStringLiteral("%1 MiB").arg(peak)));
        QVERIFY2(out.startsWith("Port"), err.constData());
        QVERIFY(out.contains("Comm8"));
        // A device command reads FastReceive too; the simulated adapter needs no port.
        const QString image = home.filePath(QStringLiteral("image.bin"));
        Write(image, QByteArray(256, '\x5A'));
        QCOMPARE(RunTool(home,
                         {QStringLiteral("verify"), QStringLiteral("-p"), QStringLiteral("sim"),
                          QStringLiteral("-d"), QStringLiteral("y"), QStringLiteral("-i"), image,
                          QStringLiteral("-q"), QStringLiteral("--fast")},
                         out, err, peak),
                 1); // the simulated chip is erased: a mismatch, found and told
        QVERIFY2(peak > 0 && peak < MemoryBoundMiB, qPrintable(QStringLiteral("%1 MiB").arg(peak)));
    }

    // A file of gigabytes named as Intel HEX is refused by its size, never read whole.
    void gigabyteIntelHexRefused() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.ihx"));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.write(":00000001FF\n") > 0);
            QVERIFY(file.resize(qint64(5) << 30)); // sparse: nothing is written
        }
        QByteArray out;
        QByteArray err;
        long peak = 0;
        QCOMPARE(RunTool(dir,
                         {QStringLiteral("program"), QStringLiteral("-p"), QStringLiteral("sim"),
                          QStringLiteral("-d"), QStringLiteral("TMS370CX58A"), QStringLiteral("-i"),
                          path, QStringLiteral("-q")},
                         out, err, peak),
                 4);
        QVERIFY2(err.contains("big.ihx") && err.contains("5368709120 bytes"), err.constData());
        QVERIFY2(peak > 0 && peak < MemoryBoundMiB, qPrintable(QStringLiteral("%1 MiB").arg(peak)));
    }

    // The language file is read a record at a time: a 10 MB "line" costs one record.
    void languageFileOfOneHugeLine_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("10 MB of text") << Filler('a');
        QTest::newRow("10 MB of binary") << BinaryBytes();
        QTest::newRow("10 MB of newlines") << Filler('\n');
    }
    void languageFileOfOneHugeLine() {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("English.lpk"));
        Write(path, content);
        content.clear();
        const PeakWatch watch;
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const int records = int(content.size() / Module1::LangRecordLength);
        for (const int n : {1, 2, 33, 100, records, records + 1}) {
            const std::optional<QString> text = Module1::ReadLangRecord(file, n);
            QVERIFY(!text || text->size() <= Module1::LangTextLength);
        }
        // A record is read alone, never the file.
        QVERIFY(!watch.Valid() || watch.RiseMiB() < 8);
    }

private:
    // tms370 with its settings under home; its exit code, -1 when it does not end in 10 s.
    // peakMiB: the most memory it held.
    static int RunTool(const QTemporaryDir& home, const QStringList& arguments, QByteArray& out,
                       QByteArray& err, long& peakMiB) {
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
        err = tool.readAllStandardError();
        QFile peak(peakFile);
        peakMiB = peak.open(QIODevice::ReadOnly) ? peak.readAll().trimmed().toLong() / 1024 : -1;
        return ended && tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    }
};

QTEST_MAIN(LimitsTest)
#include "tst_limits.moc"

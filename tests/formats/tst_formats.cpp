#include "FakeClock.h"
#include "ImageFiles.h"
#include "adaptersim/SimSerialPort.h"
#include "core/Checksums.h"
#include "core/ImageFile.h"
#include "core/Operations.h"
#include "core/PortDevices.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

using core::ImageFault;
using core::ImageFormat;

Q_DECLARE_METATYPE(ImageFormat)

namespace {

const core::Family& FamilyOf(char code) {
    return *core::FindFamily(QString(QLatin1Char(code)));
}

// Runs srec_cat with arguments; fails the test when it does not succeed.
void SrecCat(const QStringList& arguments) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("srec_cat"));
    QVERIFY2(!tool.isEmpty(), "srec_cat is missing: run ./scripts/setup");
    QProcess p;
    p.start(tool, arguments);
    QVERIFY(p.waitForFinished(10000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
}

// Files may grow to 100 bytes while it lives, as on a disk that is almost full.
struct FullDisk {
    rlimit before{};
    FullDisk() {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &before);
        rlimit small = before;
        small.rlim_cur = 100;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FullDisk() { setrlimit(RLIMIT_FSIZE, &before); }
};

class ReadInto : public core::OperationObserver {
public:
    explicit ReadInto(const QString& path) : path_(path) {}
    std::optional<QString> ChooseReadTarget() override { return path_; }

private:
    QString path_;
};

QString SrecName(ImageFormat format) {
    return format == ImageFormat::IntelHex ? QStringLiteral("-intel") : QStringLiteral("-motorola");
}

} // namespace

class FormatsTest : public QObject {
    Q_OBJECT

private slots:
    // The figures as zlib's crc32 (Python's zlib.crc32) and a plain sum of the bytes give them.
    void checksumsAgreeWithZlib_data() {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<QString>("text");
        QTest::newRow("check string") << QByteArray("123456789") << "CRC-32 CBF43926, sum 01DDh";
        QTest::newRow("erased 512") << QByteArray(512, '\xFF') << "CRC-32 BD7BC39F, sum FE00h";
        QTest::newRow("pattern") << Pattern(512, 1) << "CRC-32 5FAF1107, sum FF00h";
        QTest::newRow("empty") << QByteArray() << "CRC-32 00000000, sum 0000h";
    }
    void checksumsAgreeWithZlib() {
        QFETCH(QByteArray, block);
        QFETCH(QString, text);
        QCOMPARE(core::ChecksumText(block), text);
    }

    void roundTripsWithSrecCat_data() {
        QTest::addColumn<char>("family");
        QTest::addColumn<ImageFormat>("format");
        QTest::addColumn<bool>("eepromAddresses"); // srec_cat's file at 1E00h/1F00h, or at 0
        QTest::addColumn<int>("recordBytes");
        QTest::addColumn<QStringList>("srecOptions");
        for (char family : {'x', 'y'}) {
            for (ImageFormat format : {ImageFormat::IntelHex, ImageFormat::SRecord}) {
                const QByteArray name =
                    QByteArray(1, family) + ' ' + core::ImageFormatName(format).toLatin1();
                QTest::newRow(name + " at EEPROM, 16")
                    << family << format << true << 16 << QStringList();
                QTest::newRow(name + " from 0, 32")
                    << family << format << false << 32
                    << QStringList{QStringLiteral("-output_block_size=32")};
            }
        }
        QTest::newRow("x S3 records") << 'x' << ImageFormat::SRecord << true << 16
                                      << QStringList{QStringLiteral("-address-length=4")};
        QTest::newRow("y S2 records, S8")
            << 'y' << ImageFormat::SRecord << false << 16
            << QStringList{QStringLiteral("-address-length=3"),
                           QStringLiteral("-execution-start-address=0")};
    }
    void roundTripsWithSrecCat() {
        QFETCH(char, family);
        QFETCH(ImageFormat, format);
        QFETCH(bool, eepromAddresses);
        QFETCH(int, recordBytes);
        QFETCH(QStringList, srecOptions);
        const core::Family& f = FamilyOf(family);
        const QByteArray block = Pattern(f.blockSize);
        QTemporaryDir dir;
        const QString raw = dir.filePath("block.bin");
        WriteFile(raw, block);
        const QString offset = QStringLiteral("0x%1").arg(f.eepromFirst, 0, 16);

        // Ours, read by srec_cat back to raw bytes from the EEPROM's first address.
        const QByteArray ours =
            core::EncodeImage(block, format, f, QStringLiteral("TMS370C756A"), recordBytes);
        QVERIFY(ours.split('\n').at(format == ImageFormat::SRecord ? 1 : 0).size() ==
                recordBytes * 2 + (format == ImageFormat::SRecord ? 10 : 11));
        const QString oursPath = dir.filePath("ours.txt");
        WriteFile(oursPath, ours);
        const QString back = dir.filePath("back.bin");
        SrecCat({oursPath, SrecName(format), QStringLiteral("-offset"), QLatin1Char('-') + offset,
                 QStringLiteral("-o"), back, QStringLiteral("-binary")});
        QCOMPARE(ReadFile(back), block);

        // srec_cat's, read by ours.
        const QString theirs = dir.filePath("theirs.txt");
        QStringList make{raw, QStringLiteral("-binary")};
        if (eepromAddresses) {
            make << QStringLiteral("-offset") << offset;
        }
        make << QStringLiteral("-o") << theirs << SrecName(format) << srecOptions;
        SrecCat(make);
        const core::LoadedImage loaded = core::LoadImageFile(theirs, format, f, false);
        QCOMPARE(loaded.message, QString());
        QCOMPARE(loaded.block, block);
    }

    void gapsAreErased() {
        const core::Family& f = FamilyOf('y');
        QTemporaryDir dir;
        WriteFile(dir.filePath("block.bin"), Pattern(256));
        const QString gappy = dir.filePath("gappy.srec");
        SrecCat({dir.filePath("block.bin"), QStringLiteral("-binary"), QStringLiteral("-crop"),
                 QStringLiteral("0"), QStringLiteral("0x40"), QStringLiteral("0x90"),
                 QStringLiteral("0xF0"), QStringLiteral("-offset"), QStringLiteral("0x1F00"),
                 QStringLiteral("-o"), gappy, QStringLiteral("-motorola")});
        QByteArray expected = Pattern(256);
        expected.replace(0x40, 0x50, QByteArray(0x50, char(0xFF)));
        expected.replace(0xF0, 0x10, QByteArray(0x10, char(0xFF)));
        QCOMPARE(core::LoadImageFile(gappy, std::nullopt, f, false).block, expected);
    }

    void faultsNameTheLine_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected");
        const QByteArray eof = ":00000001FF\n";
        QTest::newRow("ihex checksum") << "a.ihx" << QByteArray(":021F0000ABCD00\n") + eof
                                       << "line 1: checksum error (the record's checksum is "
                                          "00h, its bytes call for 67h)";
        QTest::newRow("ihex bad digit") << "a.ihx" << QByteArray(":021F0000ABCG67\n") + eof
                                        << "line 1: not an Intel HEX record";
        QTest::newRow("ihex no colon") << "a.ihx" << QByteArray(":021F0000ABCD67\n021F0000\n")
                                       << "line 2: not an Intel HEX record";
        QTest::newRow("ihex count") << "a.ihx" << QByteArray(":031F0000ABCD65\n") + eof
                                    << "line 1: the record says 3 data bytes but holds 2";
        QTest::newRow("ihex type")
            << "a.ihx" << QByteArray(":00000006FA\n") + eof << "line 1: unknown record type 06h";
        QTest::newRow("ihex outside")
            << "a.ihx" << QByteArray(":021F0000ABCD67\n:021E0000ABCD68\n") + eof
            << "line 2: data at 1E00h lies outside the block "
               "(1F00h-1FFFh";
        QTest::newRow("ihex first outside") << "a.ihx" << QByteArray(":02200000ABCD66\n") + eof
                                            << "line 1: data at 2000h lies outside the EEPROM";
        QTest::newRow("ihex from 0 past end") << "a.ihx" << QByteArray(":0200FF00ABCD87\n") + eof
                                              << "line 1: data at 0100h lies outside the block "
                                                 "(0000h-00FFh";
        QTest::newRow("ihex overlap")
            << "a.ihx" << QByteArray(":021F0000ABCD67\n\n:011F0100EEF1\n") + eof
            << "line 3: data at 1F01h overlaps the data of line 1";
        QTest::newRow("ihex cut short") << "a.ihx" << QByteArray(":021F0000ABCD67\n")
                                        << "line 1: the file ends without an end-of-file record";
        QTest::newRow("ihex after end") << "a.ihx" << eof + ":021F0000ABCD67\n"
                                        << "line 2: more follows the end-of-file record";
        QTest::newRow("ihex empty") << "a.ihx" << QByteArray("\n") << "it holds no Intel HEX";
        QTest::newRow("srec checksum") << "a.s19" << QByteArray("S1051F00ABCD00\nS9030000FC\n")
                                       << "line 1: checksum error (the record's checksum is 00h, "
                                          "its bytes call for 63h)";
        QTest::newRow("srec S4") << "a.s19" << QByteArray("S4030000FC\n")
                                 << "line 1: S4 is a reserved record type";
        QTest::newRow("srec count")
            << "a.s19" << QByteArray("S1051F00ABCD63\nS1051F02ABCD61\nS5030001FB\n")
            << "line 3: the count record says 1 data records, the file has 2 before it";
        QTest::newRow("srec cut short") << "a.s19" << QByteArray("S1051F00ABCD63\n")
                                        << "line 1: the file ends without a count record";
        QTest::newRow("srec not a record")
            << "a.mot" << QByteArray("hello\n") << "line 1: not an S-record";
    }
    void faultsNameTheLine() {
        QFETCH(QString, name);
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        WriteFile(dir.filePath(name), text);
        const core::LoadedImage image =
            core::LoadImageFile(dir.filePath(name), std::nullopt, FamilyOf('y'), false);
        QCOMPARE(image.fault, ImageFault::Malformed);
        QVERIFY2(image.message.startsWith(expected), qPrintable(image.message));
    }

    void rawRule_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("format"); // "" by the name
        QTest::addColumn<bool>("pad");
        QTest::addColumn<ImageFault>("fault");
        const QByteArray hexText =
            core::EncodeImage(Pattern(256), ImageFormat::IntelHex, FamilyOf('y'), QString());
        QTest::newRow("one block") << "a.bin" << Pattern(256) << "" << false << ImageFault::None;
        QTest::newRow(".hex holding bytes")
            << "a.hex" << Pattern(256) << "" << false << ImageFault::None;
        const QByteArray sText =
            core::EncodeImage(Pattern(256), ImageFormat::SRecord, FamilyOf('y'), QString());
        QTest::newRow(".hex holding Intel HEX")
            << "a.hex" << hexText << "" << false << ImageFault::LooksLikeRecords;
        QTest::newRow(".bin holding S-records")
            << "a.bin" << sText << "" << false << ImageFault::LooksLikeRecords;
        QByteArray badSum = sText; // one record's checksum off: not plainly records
        const qsizetype eol = badSum.indexOf('\n', badSum.indexOf("S1"));
        badSum[eol - 1] = badSum[eol - 1] == '0' ? '1' : '0';
        QTest::newRow("S-records with a bad checksum are bytes")
            << "a.bin" << badSum << "" << true << ImageFault::RawSize;
        QTest::newRow(".hex as -f ihex")
            << "a.hex" << hexText << "ihex" << false << ImageFault::None;
        QTest::newRow(".hex as -f raw")
            << "a.hex" << hexText << "raw" << true << ImageFault::RawSize;
        QTest::newRow("short") << "a.bin" << Pattern(200) << "" << false << ImageFault::RawSize;
        QTest::newRow("short, padded") << "a.bin" << Pattern(200) << "" << true << ImageFault::None;
        QTest::newRow("long, padded")
            << "a.bin" << Pattern(257) << "" << true << ImageFault::RawSize;
    }
    void rawRule() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, format);
        QFETCH(bool, pad);
        QFETCH(ImageFault, fault);
        QTemporaryDir dir;
        WriteFile(dir.filePath(name), content);
        const std::optional<ImageFormat> given =
            format.isEmpty() ? std::nullopt : core::ParseImageFormat(format);
        const core::LoadedImage image =
            core::LoadImageFile(dir.filePath(name), given, FamilyOf('y'), pad);
        QCOMPARE(image.fault, fault);
        if (fault == ImageFault::None) {
            QByteArray expected = content.size() == 256 ? content : Pattern(256);
            if (content.size() == 200) {
                expected = content + QByteArray(56, char(0xFF));
            }
            QCOMPARE(image.block, expected);
        }
    }

    void targetReplacesOnlyOnCommit() {
        QTemporaryDir dir;
        const QString path = dir.filePath("image.ihx");
        WriteFile(path, "old");
        core::ImageTarget target;
        QString error;
        QVERIFY(target.Open(path, &error));
        target.Discard();
        QCOMPARE(ReadFile(path), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"image.ihx"});
        QVERIFY(target.Open(path, &error));
        QVERIFY(target.Commit("new", &error));
        QCOMPARE(ReadFile(path), QByteArray("new"));
        QVERIFY(!target.Open(dir.filePath("no/such/folder/x.bin"), &error));
        QVERIFY(!error.isEmpty());
    }

    void aFullDiskKeepsTheOldFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("image.bin");
        WriteFile(path, "old");
        FakeClock clock;
        adaptersim::AdapterModel model;
        adaptersim::SimSerialPort port(clock, model);
        core::SetUpPort(port, core::PortChoice{1, QString()});
        core::Operations operations(port, clock);
        ReadInto observer(path);
        core::Outcome outcome;
        QString error;
        {
            FullDisk full;
            core::ImageTarget target;
            QVERIFY(target.Open(path, &error));
            QVERIFY(!target.Commit(QByteArray(300, 'x'), &error));
            outcome = operations.Run(core::Operation::Read, FamilyOf('y'), observer);
        }
        QVERIFY(!error.isEmpty());
        QCOMPARE(outcome.status, core::Status::FileError); // the window's READ into a file
        QCOMPARE(ReadFile(path), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"image.bin"});
    }
};

QTEST_GUILESS_MAIN(FormatsTest)
#include "tst_formats.moc"

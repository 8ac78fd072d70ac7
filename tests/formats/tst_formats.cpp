// The image formats: the record reader through both its sinks (PROGRAM's block and the
// editor's working image), the editor's layout and its way back to records, the writers,
// the raw rule and the checksums. srec_cat, an independent reader and writer, judges.
#include "../common/TableRows.h"
#include "ErrorNumberOf.h"
#include "ImageFiles.h"
#include "core/Checksums.h"
#include "core/ImageFile.h"
#include "editor/model/RecordImage.h"
#include "editor/model/WorkImage.h"
#include "platform/RuntimeError.h"

#include <QtTest>
#include <numeric>

using core::ImageFault;
using core::ImageFormat;
using RecordImage::Layout;

Q_DECLARE_METATYPE(ImageFormat)

namespace {

constexpr ImageFormat hex = ImageFormat::IntelHex;
constexpr ImageFormat srec = ImageFormat::SRecord;

int Sum(const QByteArray& bytes) {
    return std::accumulate(bytes.begin(), bytes.end(), 0,
                           [](int sum, char c) { return sum + uchar(c); });
}

// Record lines made here, checksums and all, to feed the reader.
QByteArray Ihex(int type, int offset, const QByteArray& dataHex, const char* end = "\n") {
    const QByteArray data = QByteArray::fromHex(dataHex);
    const QByteArray bytes = QByteArray(1, char(data.size()))
                                 .append(char(offset >> 8))
                                 .append(char(offset))
                                 .append(char(type)) +
                             data;
    return ':' + (bytes + char(-Sum(bytes))).toHex().toUpper() + end;
}

const QByteArray IhexEnd = ":00000001FF\n";

// addressHex and dataHex follow the count.
QByteArray Srec(int type, const QByteArray& addressHex, const QByteArray& dataHex = {},
                const char* end = "\n") {
    const QByteArray bytes = QByteArray::fromHex(addressHex + dataHex);
    const QByteArray counted = QByteArray(1, char(bytes.size() + 1)) + bytes;
    return 'S' + QByteArray::number(type) + (counted + char(~Sum(counted))).toHex().toUpper() + end;
}

QByteArray Fill(int n) {
    return QByteArray(n, char(0xFF));
}

QString Tool(const char* name) {
    return QStandardPaths::findExecutable(QLatin1String(name));
}

// Runs an SRecord tool; its exit code, and what it said.
int RunTool(const char* name, const QStringList& arguments, QByteArray& said) {
    QProcess p;
    p.start(Tool(name), arguments);
    p.setProcessChannelMode(QProcess::MergedChannels);
    const bool ended = p.waitForFinished(60000);
    said = p.readAll();
    return ended ? p.exitCode() : -1;
}

const core::Family& FamilyOf(char code) {
    return *core::FindFamily(QString(QLatin1Char(code)));
}

} // namespace

class FormatsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString Path(const char* name) const { return dir_.filePath(QLatin1String(name)); }

    QString Write(const char* name, const QByteArray& text) const {
        WriteFile(Path(name), text);
        return Path(name);
    }

    // Loads the file at source into image.bin.
    Layout Load(const QString& source, ImageFormat format, qint64 window = RecordImage::WindowSize,
                const RecordImage::Progress& progress = {}) {
        QFile in(source);
        QFile target(Path("image.bin"));
        in.open(QIODevice::ReadOnly);
        target.open(QIODevice::ReadWrite);
        return RecordImage::Load(in, format, target, progress, window);
    }

    // Loads source, then writes the working image back to target.
    void LoadAndSave(const QString& source, ImageFormat format, const QString& target,
                     const RecordImage::Progress& progress = {}) {
        const Layout layout = Load(source, format);
        WorkImage image(Path("work.tmp"));
        QFile built(Path("image.bin"));
        built.open(QIODevice::ReadOnly);
        image.Load(built, {});
        RecordImage::Save(image, layout, target, progress);
    }

private slots:
    // The same records through the block's sink (family y: 1F00h-1FFFh, or 0-FFh; the format by
    // the file's name) and the editor's (the span, any window). why: both sinks' refusal, none
    // when the editor takes the file; blockWhy: the block's, where it differs.
    void readsThroughBothSinks_data() {
        Columns<QByteArray, ImageFormat, qint64, quint32, QByteArray, QString, QString>(
            {"text", "format", "window", "base", "image", "why", "blockWhy"});
        const qint64 big = RecordImage::WindowSize;
        const QByteArray counting = QByteArray::fromHex("0102030405060708090A0B0C0D0E0F10");
        const QByteArray good = Ihex(0, 0x1F00, "ABCD");
        const QString eeprom = QStringLiteral("lies outside the EEPROM (1F00h-1FFFh) and outside a "
                                              "256-byte block counted from 0");
        const QString placed = QStringLiteral(", as the file's first data record places it)");
        const QByteArray huge = good + ":" + QByteArray(3 << 20, '0');
        const QString none;
        // clang-format off
        QTest::newRow("ihex at the EEPROM's addresses") << Ihex(0, 0x1F00, "01020304") + IhexEnd << hex << big << 0x1F00u << QByteArray::fromHex("01020304") << none << none;
        QTest::newRow("ihex from 0, a gap filled with FFh") << Ihex(0, 0, "0102") + Ihex(0, 5, "03") + IhexEnd << hex << big << 0u << QByteArray::fromHex("0102FFFFFF03") << none << none;
        QTest::newRow("ihex extended segment (02)") << Ihex(2, 0, "01F0") + Ihex(0, 4, "CC") + IhexEnd << hex << big << 0x1F04u << QByteArray("\xCC") << none << none;
        QTest::newRow("records across small windows") << Ihex(0, 0x1F06, counting.toHex()) + IhexEnd << hex << qint64(8) << 0x1F06u << counting << none << none;
        QTest::newRow("blanks, blank lines, CRLF, no end to the last line") << "  " + Ihex(0, 0x1F00, "0102", "\r\n") + "\r\n\t\r\n" + Ihex(0, 0x1F02, "03", " \r\n") + ":00000001FF" << hex << big << 0x1F00u << QByteArray::fromHex("010203") << none << none;
        QTest::newRow("s19") << Srec(0, "0000", "414243") + Srec(1, "1F00", "0102") + Srec(1, "1F04", "05") + Srec(9, "1F00") << srec << big << 0x1F00u << QByteArray::fromHex("0102FFFF05") << none << none;
        QTest::newRow("s-records out of order across small windows") << Srec(1, "1F0C", "0C") + Srec(1, "1F00", "00") + Srec(5, "0002") << srec << qint64(8) << 0x1F00u << QByteArray(1, '\0') + Fill(11) + "\x0C" << none << none;
        // The block takes its own addresses only, each once.
        QTest::newRow("ihex extended linear (04)") << Ihex(4, 0, "0001") + Ihex(0, 0x0010, "AABB") + IhexEnd << hex << big << 0x10010u << QByteArray::fromHex("AABB") << none << "line 2: data at 10010h " + eeprom;
        QTest::newRow("ihex segment then linear, 64 KiB apart") << Ihex(2, 0, "F000") + Ihex(0, 0, "11") + Ihex(4, 0, "0010") + Ihex(0, 0, "22") + IhexEnd << hex << big << 0xF0000u << "\x11" + Fill(0xFFFF) + "\x22" << none << "line 2: data at F0000h " + eeprom;
        QTest::newRow("ihex record running on past its 64 KiB") << Ihex(0, 0xFFFF, "A1A2") + IhexEnd << hex << big << 0xFFFFu << QByteArray::fromHex("A1A2") << none << "line 1: data at FFFFh " + eeprom;
        QTest::newRow("s28") << Srec(2, "012345", "0A0B") + Srec(8, "000000") << srec << big << 0x12345u << QByteArray::fromHex("0A0B") << none << "line 1: data at 12345h " + eeprom;
        QTest::newRow("s37 at the top of 32 bits") << Srec(3, "FFFFFFFC", "01020304") + Srec(7, "00000000") << srec << big << 0xFFFFFFFCu << QByteArray::fromHex("01020304") << none << "line 1: data at FFFFFFFCh " + eeprom;
        QTest::newRow("before the block the first record places") << good + Ihex(0, 0x1E00, "ABCD") + IhexEnd << hex << big << 0x1E00u << "\xAB\xCD" + Fill(0xFE) + "\xAB\xCD" << none << "line 2: data at 1E00h lies outside the block (1F00h-1FFFh" + placed;
        QTest::newRow("from 0, past the block's end") << Ihex(0, 0xFF, "ABCD") + IhexEnd << hex << big << 0xFFu << QByteArray::fromHex("ABCD") << none << "line 1: data at 0100h lies outside the block (0000h-00FFh" + placed;
        QTest::newRow("out of order, a byte given twice alike") << Ihex(0, 0x1F04, "0506") + Ihex(0, 0x1F00, "0102030405") + IhexEnd << hex << big << 0x1F00u << QByteArray::fromHex("010203040506") << none << "line 2: data at 1F04h overlaps the data of line 1";
        QTest::newRow("out of order across small windows, gaps between") << Ihex(0, 0x1F20, "AA") + Ihex(0, 0x1F00, "0102") + Ihex(0, 0x1F11, "BB") + Ihex(0, 0x1F01, "02") + IhexEnd << hex << qint64(8) << 0x1F00u << QByteArray::fromHex("0102") + Fill(15) + "\xBB" + Fill(14) + "\xAA" << none << "line 4: data at 1F01h overlaps the data of line 2";
        // Refused by both alike.
        QTest::newRow("ihex checksum") << QByteArray(":021F0000ABCD00\n") + IhexEnd << hex << big << 0u << QByteArray() << "line 1: checksum error (the record's checksum is 00h, its bytes call for 67h)" << none;
        QTest::newRow("ihex bad digit") << QByteArray(":021F0000ABCG67\n") + IhexEnd << hex << big << 0u << QByteArray() << "line 1: not an Intel HEX record (only pairs of hex digits may follow the ':')" << none;
        QTest::newRow("ihex no colon") << good + "021F0000\n" << hex << big << 0u << QByteArray() << "line 2: not an Intel HEX record (it does not start with ':')" << none;
        QTest::newRow("ihex count") << QByteArray(":031F0000ABCD65\n") + IhexEnd << hex << big << 0u << QByteArray() << "line 1: the record says 3 data bytes but holds 2" << none;
        QTest::newRow("ihex type") << QByteArray(":00000006FA\n") + IhexEnd << hex << big << 0u << QByteArray() << "line 1: unknown record type 06h" << none;
        QTest::newRow("ihex length of a type") << Ihex(1, 0, "AA") << hex << big << 0u << QByteArray() << "line 1: a record of type 01h holds 0 bytes, this one 1" << none;
        QTest::newRow("ihex cut short") << good + "\n" + good << hex << big << 0u << QByteArray() << "line 3: the file ends without an end-of-file record (:00000001FF); it may be cut short" << none;
        QTest::newRow("after the end-of-file record") << good + IhexEnd + "\n" + good << hex << big << 0u << QByteArray() << "line 4: more follows the end-of-file record of line 2" << none;
        QTest::newRow("no data") << Ihex(4, 0, "0000") + IhexEnd << hex << big << 0u << QByteArray() << "it holds no data records" << none;
        QTest::newRow("no ihex") << QByteArray("\n\n") << hex << big << 0u << QByteArray() << "it holds no Intel HEX records" << none;
        QTest::newRow("srec checksum") << QByteArray("S1051F00ABCD00\nS9030000FC\n") << srec << big << 0u << QByteArray() << "line 1: checksum error (the record's checksum is 00h, its bytes call for 63h)" << none;
        QTest::newRow("srec S4") << QByteArray("S4030000FC\n") << srec << big << 0u << QByteArray() << "line 1: S4 is a reserved record type" << none;
        QTest::newRow("srec count") << QByteArray("S1051F00ABCD63\nS1051F02ABCD61\nS5030001FB\n") << srec << big << 0u << QByteArray() << "line 3: the count record says 1 data records, the file has 2 before it" << none;
        QTest::newRow("srec count with data") << Srec(1, "1F00", "01") + Srec(5, "0001", "00") << srec << big << 0u << QByteArray() << "line 2: a count record holds no data" << none;
        QTest::newRow("srec cut short") << Srec(0, "0000") + Srec(1, "1F00", "01") << srec << big << 0u << QByteArray() << "line 2: the file ends without a count record (S5, S6) or a termination record (S7, S8, S9); it may be cut short" << none;
        QTest::newRow("not an S-record") << QByteArray("hello\n") << srec << big << 0u << QByteArray() << "line 1: not an S-record (it does not start with S0 to S9)" << none;
        QTest::newRow("no s-records") << QByteArray() << srec << big << 0u << QByteArray() << "it holds no S-records" << none;
        // Refused by each in its own words.
        QTest::newRow("a byte given two values") << good + Ihex(0, 0x1F04, "AA") + Ihex(0, 0x1F01, "55") + IhexEnd << hex << big << 0u << QByteArray() << "line 3: data at 1F01h (55h) disagrees with line 1 (CDh)" << "line 3: data at 1F01h overlaps the data of line 1";
        QTest::newRow("two values, the first in a window left behind") << Ihex(0, 0x1F00, "000102030405060708") + Ihex(0, 0x1F20, "AA") + Ihex(0, 0x1F07, "00") + IhexEnd << hex << qint64(8) << 0u << QByteArray() << "line 3: data at 1F07h (00h) disagrees with line 1 (07h)" << "line 3: data at 1F07h overlaps the data of line 1";
        QTest::newRow("two values in a gap filled over") << Ihex(0, 0x1F20, "AA") + Ihex(0, 0x1F00, "BB") + Ihex(0, 0x1F00, "BC") + IhexEnd << hex << qint64(8) << 0u << QByteArray() << "line 3: data at 1F00h (BCh) disagrees with line 2 (BBh)" << "line 3: data at 1F00h overlaps the data of line 2";
        QTest::newRow("a line too long") << ":" + QByteArray(5000, '0') + "\n" << hex << big << 0u << QByteArray() << "line 1: longer than any record (over 4096 characters)" << "line 1: the record says 0 data bytes";
        QTest::newRow("a line longer than a piece read") << huge << hex << big << 0u << QByteArray() << "line 2: longer than any record (over 4096 characters)" << QStringLiteral("it is %1 bytes long, more than the 1048576 bytes").arg(huge.size());
        QTest::newRow("data past 32 bits") << Srec(3, "FFFFFFFF", "0102") + Srec(7, "00000000") << srec << big << 0u << QByteArray() << "line 1: data at FFFFFFFFh runs past FFFFFFFFh, the last 32-bit address" << "line 1: data at FFFFFFFFh " + eeprom;
        // clang-format on
    }

    void readsThroughBothSinks() {
        const auto [text, format, window, base, image, why, blockWhy] =
            Row<QByteArray, ImageFormat, qint64, quint32, QByteArray, QString, QString>(
                {"text", "format", "window", "base", "image", "why", "blockWhy"});
        const QString source = Write(format == ImageFormat::IntelHex ? "in.ihx" : "in.s19", text);
        const core::LoadedImage loaded =
            core::LoadImageFile(source, std::nullopt, FamilyOf('y'), false);
        const QString refused = blockWhy.isEmpty() ? why : blockWhy; // by the block
        if (refused.isEmpty()) {
            QCOMPARE(loaded.message, QString());
            QCOMPARE(loaded.block.toHex(),
                     Fill(256).replace(base & 0xFF, image.size(), image).toHex());
        } else {
            QVERIFY(loaded.fault != ImageFault::None);
            QVERIFY2(loaded.message.startsWith(refused), qPrintable(loaded.message));
        }
        Write("image.bin", "stale bytes from before, longer than any image here");
        try {
            const Layout layout = Load(source, format, window);
            QVERIFY2(why.isEmpty(), "taken");
            QCOMPARE(ReadFile(Path("image.bin")).toHex(), image.toHex());
            QCOMPARE(layout.base, base);
            QCOMPARE(layout.length, qint64(image.size()));
        } catch (const platform::RuntimeError& error) {
            QCOMPARE(error.Number(), platform::ErrorNumber::PathFileAccess);
            const QString where = why.startsWith(QLatin1String("line")) ? ", " : ": ";
            QCOMPARE(error.Description(), '"' + source + '"' + where + why);
            QCOMPARE(QFileInfo(Path("image.bin")).size(), 0); // nothing half built stays
        }
    }

    void refusesAFileChangedBetweenReadings() {
        // Data beyond the span, data out of order.
        for (const QByteArray& then : {Ihex(0, 0x1E00, "01") + Ihex(0, 0x1E40, "02") + IhexEnd,
                                       Ihex(0, 0x1E10, "01") + Ihex(0, 0x1E00, "02") + IhexEnd}) {
            const QString source =
                Write("in.hex", Ihex(0, 0x1E00, "0102") + Ihex(0, 0x1E10, "03") + IhexEnd);
            bool changed = false;
            const auto change = [&](int) {
                if (!changed) { // after the first reading
                    changed = true;
                    Write("in.hex", then);
                }
                return true;
            };
            try {
                Load(source, hex, RecordImage::WindowSize, change);
                QFAIL("taken");
            } catch (const platform::RuntimeError& error) {
                QCOMPARE(error.Description(),
                         QStringLiteral("\"%1\" changed while it was being read.").arg(source));
            }
        }
    }

    void writesBackAsTheFileWas_data() {
        // written: empty: the text itself.
        Columns<QByteArray, ImageFormat, QByteArray>({"text", "format", "written"});
        const QByteArray d16 = "000102030405060708090A0B0C0D0E0F";
        // clang-format off
        QTest::newRow("ihex, 16-bit") << Ihex(0, 0x1E00, d16) + Ihex(0, 0x1E10, "AABBCC") + IhexEnd << hex << QByteArray();
        QTest::newRow("ihex linear across 64 KiB, EIP start") << Ihex(4, 0, "0001") + Ihex(0, 0xFFF8, "0001020304050607") + Ihex(4, 0, "0002") + Ihex(0, 0, "08090A") + Ihex(5, 0, "0001FFF8") + IhexEnd << hex << QByteArray();
        QTest::newRow("ihex segment, CS:IP start, CRLF") << Ihex(2, 0, "1000", "\r\n") + Ihex(0, 0x0020, d16, "\r\n") + Ihex(0, 0x0030, "01", "\r\n") + Ihex(3, 0, "10000020", "\r\n") + ":00000001FF\r\n" << hex << QByteArray();
        QTest::newRow("ihex segment across 64 KiB") << Ihex(2, 0, "1000") + Ihex(0, 0xFFF8, "0001020304050607") + Ihex(2, 0, "2000") + Ihex(0, 0, "0809") + IhexEnd << hex << QByteArray();
        QTest::newRow("ihex segment and linear: linear") << Ihex(2, 0, "1000") + Ihex(0, 0, "01") + Ihex(4, 0, "0001") + Ihex(0, 1, "02") + IhexEnd << hex << Ihex(4, 0, "0001") + Ihex(0, 0, "0102") + IhexEnd;
        QTest::newRow("ihex segment above 1 MiB") << Ihex(2, 0, "FFFF") + Ihex(0, 0xFFF0, "0102") + IhexEnd << hex << QByteArray();
        QTest::newRow("ihex gaps written as FFh") << Ihex(0, 0x1E00, "01") + Ihex(0, 0x1E03, "02") + IhexEnd << hex << Ihex(0, 0x1E00, "01FFFF02") + IhexEnd;
        QTest::newRow("ihex 16-bit, data past 64 KiB: linear from there") << Ihex(0, 0xFFFC, "0102030405") + IhexEnd << hex << Ihex(0, 0xFFFC, "01020304") + Ihex(4, 0, "0001") + Ihex(0, 0, "05") + IhexEnd;
        QTest::newRow("s19, header, count, S9") << Srec(0, "0000", "484452") + Srec(1, "1E00", d16) + Srec(1, "1E10", "01") + Srec(5, "0002") + Srec(9, "1E00") << srec << QByteArray();
        QTest::newRow("s28, S8, CRLF") << Srec(2, "012345", "0102", "\r\n") + Srec(8, "012345", {}, "\r\n") << srec << QByteArray();
        QTest::newRow("s37, empty header, S7") << Srec(0, "0000") + Srec(3, "FFFFFFF0", d16) + Srec(7, "00000000") << srec << QByteArray();
        QTest::newRow("S1 and S2: all S2") << Srec(1, "1E00", "01") + Srec(2, "001E01", "02") + Srec(8, "000000") << srec << Srec(2, "001E00", "0102") + Srec(8, "000000");
        QTest::newRow("S1 running past 64 KiB: S2 for it") << Srec(1, "FFF8", d16) + Srec(9, "0000") << srec << Srec(2, "00FFF8", d16) + Srec(9, "0000");
        // clang-format on
    }

    void writesBackAsTheFileWas() {
        const auto [text, format, written] =
            Row<QByteArray, ImageFormat, QByteArray>({"text", "format", "written"});
        LoadAndSave(Write("in.txt", text), format, Path("out.txt"));
        QCOMPARE(ReadFile(Path("out.txt")), written.isEmpty() ? text : written);
    }

    // 3 MiB between two records: a window's fills and several pieces written back. calls:
    // answered true before the stop; -1, never stopped.
    void tellsProgressAndStops_data() {
        Columns<bool, int>({"save", "calls"});
        QTest::newRow("load, rising to 100") << false << -1;
        QTest::newRow("save, rising to 100") << true << -1;
        QTest::newRow("load, stopped at once") << false << 0;
        QTest::newRow("load, stopped midway") << false << 4;
        QTest::newRow("save, stopped at once") << true << 0;
    }

    void tellsProgressAndStops() {
        const auto [save, calls] = Row<bool, int>({"save", "calls"});
        const QString source = Write("in.hex", Ihex(4, 0, "0000") + Ihex(0, 0, "01") +
                                                   Ihex(4, 0, "0030") + Ihex(0, 0, "02") + IhexEnd);
        QList<int> seen;
        const auto answer = [&](int percent) {
            seen.append(percent);
            return calls < 0 || seen.size() <= calls;
        };
        Write("out.hex", "the old file");
        const int number = ErrorNumberOf([&] {
            if (save) {
                LoadAndSave(source, hex, Path("out.hex"), answer);
            } else {
                Load(source, hex, 1 << 20, answer);
            }
        });
        if (calls < 0) {
            QVERIFY(number == 0 && seen.size() >= 3 && std::is_sorted(seen.begin(), seen.end()));
            QCOMPARE(seen.last(), 100);
            return;
        }
        QCOMPARE(number, platform::ErrorNumber::CancelError);
        QCOMPARE(seen.size(), calls + 1);
        if (save) {
            QCOMPARE(ReadFile(Path("out.hex")), QByteArray("the old file"));
            QCOMPARE(QDir(dir_.path()).entryList(QDir::Files).filter(QStringLiteral("out.hex")),
                     QStringList{QStringLiteral("out.hex")}); // no copy in the making stays
        } else {
            QCOMPARE(QFileInfo(Path("image.bin")).size(), 0);
        }
    }

    // srec_cat, an independent reader and writer, judges: the block written as records by ours
    // (recordBytes a record) and read back by srec_cat; the block written by srec_cat (at the
    // offset: "" 0, "@" the EEPROM's first address; with its output options) read by ours where
    // it lies in the block, and through the editor and back: the same data (srec_cmp), header
    // and start address (srec_info).
    void srecCatAgrees_data() {
        Columns<char, ImageFormat, int, QString, QStringList>(
            {"family", "format", "recordBytes", "offset", "options"});
        // clang-format off
        QTest::newRow("x ihex at EEPROM, 16") << 'x' << hex << 16 << "@" << QStringList();
        QTest::newRow("y ihex from 0, 32") << 'y' << hex << 32 << "" << QStringList{"-output_block_size=32"};
        QTest::newRow("x ihex 16-bit, from 0, 32") << 'x' << hex << 32 << "" << QStringList{"-address-length=2", "-obs=32"};
        QTest::newRow("y ihex segment, across 64 KiB, start") << 'y' << hex << 16 << "0x1FF80" << QStringList{"-execution-start-address", "0x1FF80", "-address-length=3"};
        QTest::newRow("x s19 at EEPROM, header, start") << 'x' << srec << 16 << "@" << QStringList{"-header", "HELLO", "-execution-start-address", "0x1E00"};
        QTest::newRow("y s19 from 0, 32") << 'y' << srec << 32 << "" << QStringList{"-output_block_size=32"};
        QTest::newRow("x S3 at EEPROM") << 'x' << srec << 16 << "@" << QStringList{"-address-length=4"};
        QTest::newRow("y S2, S8") << 'y' << srec << 16 << "" << QStringList{"-address-length=3", "-execution-start-address=0"};
        QTest::newRow("y S3 at the top of 32 bits") << 'y' << srec << 16 << "0xFFFFFF00" << QStringList{"-address-length=4"};
        // clang-format on
    }
    void srecCatAgrees() {
        const auto [family, format, recordBytes, offset, options] =
            Row<char, ImageFormat, int, QString, QStringList>(
                {"family", "format", "recordBytes", "offset", "options"});
        if (Tool("srec_cat").isEmpty() || Tool("srec_cmp").isEmpty() ||
            Tool("srec_info").isEmpty()) {
            QSKIP("needs srec_cat, srec_cmp and srec_info (./scripts/setup installs them)");
        }
        const core::Family& f = FamilyOf(family);
        const QByteArray block = Pattern(f.blockSize);
        const QString kind = format == hex ? QStringLiteral("-intel") : QStringLiteral("-motorola");
        const QString eeprom = QStringLiteral("0x%1").arg(f.eepromFirst, 0, 16);
        const QByteArray ours =
            core::EncodeImage(block, format, f, QStringLiteral("TMS370C756A"), recordBytes);
        QCOMPARE(ours.split('\n').at(format == srec ? 1 : 0).size(),
                 recordBytes * 2 + (format == srec ? 10 : 11));
        const QString oursPath = Write("ours.txt", ours);
        QByteArray said;
        QVERIFY2(
            RunTool("srec_cat",
                    {oursPath, kind, "-offset", '-' + eeprom, "-o", Path("back.bin"), "-binary"},
                    said) == 0,
            said.constData());
        QCOMPARE(ReadFile(Path("back.bin")), block);

        const QString theirs = Path("theirs.txt");
        QStringList make{Write("block.bin", block), QStringLiteral("-binary")};
        if (!offset.isEmpty()) {
            make << QStringLiteral("-offset") << (offset == "@" ? eeprom : offset);
        }
        QVERIFY2(RunTool("srec_cat", make + QStringList{"-o", theirs, kind} + options, said) == 0,
                 said.constData());
        if (offset.isEmpty() || offset == "@") {
            const core::LoadedImage loaded = core::LoadImageFile(theirs, format, f, false);
            QCOMPARE(loaded.message, QString());
            QCOMPARE(loaded.block, block);
        }
        LoadAndSave(theirs, format, oursPath);
        QCOMPARE(RunTool("srec_cmp", {theirs, kind, oursPath, kind}, said), 0);
        QByteArray before, after;
        QCOMPARE(RunTool("srec_info", {theirs, kind}, before), 0);
        QCOMPARE(RunTool("srec_info", {oursPath, kind}, after), 0);
        const auto kept = [](const QByteArray& info) {
            return QString::fromLatin1(info).split('\n').filter(
                QRegularExpression(QStringLiteral("^(Header|Execution)")));
        };
        QCOMPARE(kept(after), kept(before));
    }

    // The figures as zlib's crc32 (Python's zlib.crc32) and a plain sum of the bytes give them.
    void checksumsAgreeWithZlib() {
        QCOMPARE(core::ChecksumText("123456789"), "CRC-32 CBF43926, sum 01DDh");
        QCOMPARE(core::ChecksumText(QByteArray(512, '\xFF')), "CRC-32 BD7BC39F, sum FE00h");
        QCOMPARE(core::ChecksumText(Pattern(512, 1)), "CRC-32 5FAF1107, sum FF00h");
        QCOMPARE(core::ChecksumText(QByteArray()), "CRC-32 00000000, sum 0000h");
    }

    void rawRule_data() {
        // format: "" by the name.
        Columns<QString, QByteArray, QString, bool, ImageFault>(
            {"name", "content", "format", "pad", "fault"});
        const QByteArray hexText = core::EncodeImage(Pattern(256), hex, FamilyOf('y'), QString());
        const QByteArray sText = core::EncodeImage(Pattern(256), srec, FamilyOf('y'), QString());
        QByteArray badSum = sText; // one record's checksum off: not plainly records
        const qsizetype eol = badSum.indexOf('\n', badSum.indexOf("S1"));
        badSum[eol - 1] = badSum[eol - 1] == '0' ? '1' : '0';
        // clang-format off
        QTest::newRow("one block") << "a.bin" << Pattern(256) << "" << false << ImageFault::None;
        QTest::newRow(".hex holding bytes") << "a.hex" << Pattern(256) << "" << false << ImageFault::None;
        QTest::newRow(".hex holding Intel HEX") << "a.hex" << hexText << "" << false << ImageFault::LooksLikeRecords;
        QTest::newRow(".bin holding S-records") << "a.bin" << sText << "" << false << ImageFault::LooksLikeRecords;
        QTest::newRow("S-records with a bad checksum are bytes") << "a.bin" << badSum << "" << true << ImageFault::RawSize;
        QTest::newRow(".hex as -f ihex") << "a.hex" << hexText << "ihex" << false << ImageFault::None;
        QTest::newRow(".hex as -f raw") << "a.hex" << hexText << "raw" << true << ImageFault::RawSize;
        QTest::newRow("short") << "a.bin" << Pattern(200) << "" << false << ImageFault::RawSize;
        QTest::newRow("short, padded") << "a.bin" << Pattern(200) << "" << true << ImageFault::None;
        QTest::newRow("long, padded") << "a.bin" << Pattern(257) << "" << true << ImageFault::RawSize;
        // clang-format on
    }
    void rawRule() {
        const auto [name, content, format, pad, fault] =
            Row<QString, QByteArray, QString, bool, ImageFault>(
                {"name", "content", "format", "pad", "fault"});
        WriteFile(dir_.filePath(name), content);
        const std::optional<ImageFormat> given =
            format.isEmpty() ? std::nullopt : core::ParseImageFormat(format);
        const core::LoadedImage image =
            core::LoadImageFile(dir_.filePath(name), given, FamilyOf('y'), pad);
        QCOMPARE(image.fault, fault);
        if (fault == ImageFault::None) {
            QCOMPARE(image.block, content.size() == 200 ? content + Fill(56) : Pattern(256));
        }
    }
};

QTEST_GUILESS_MAIN(FormatsTest)
#include "tst_formats.moc"

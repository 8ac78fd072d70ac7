#include "FakeClock.h"
#include "ImageFiles.h"
#include "adaptersim/AdapterModel.h"
#include "core/Checksums.h"
#include "core/PortControl.h"
#include "core/PortDevices.h"
#include "production/BlockPatches.h"
#include "production/FieldLayout.h"
#include "production/ProductionRun.h"
#include "production/Recipe.h"
#include "production/SerialNumbers.h"
#include "transport/SimTransport.h"

#include <QtTest>
#include <limits>

using production::BlockPatches;
using production::ProductionRun;

namespace {

const core::Family& X = core::Families[0]; // 1E00h-1FFFh
const core::Family& Y = core::Families[1]; // 1F00h-1FFFh

BlockPatches Patches(const QStringList& keep, const QStringList& checksums) {
    BlockPatches patches;
    QString why;
    for (const QString& text : keep) {
        patches.keep.append(production::ParseKeepRange(text, &why).value());
    }
    for (const QString& text : checksums) {
        patches.checksums.append(production::ParseChecksumField(text, &why).value());
    }
    return patches;
}

// Unlike Pattern, no period of 256: a patch at the wrong 256-byte half shows.
QByteArray Block(int size, int seed) {
    QByteArray block(size, '\0');
    for (int i = 0; i < size; ++i) {
        block[i] = char((i * 37 + seed * 11 + (i >> 3)) & 0xFF);
    }
    return block;
}

enum class Ending {
    Verified,
    Spoiled,
    Silent,
    PortMissing,
    NoSource,
    ShortRefused,
    ShortTaken,
    ReadBackSkipped,
    Unreadable,
    PortNeverOpened
};

// The front end's side: the image it chooses and its answer to the size question.
struct Front : core::OperationObserver {
    std::optional<core::ImageSource> source;
    bool acceptSize = true;
    int sizeAsked = 0;
    std::optional<core::ImageSource> ChooseProgramSource() override { return source; }
    bool AcceptImageSize(const QString&, qint64, int) override {
        ++sizeAsked;
        return acceptSize;
    }
};

} // namespace

// A production run's block, read-back, number and row for every way a PROGRAM ends; serial
// layouts; kept ranges and checksum fields, and the options refused when they cannot apply.
class ProductionRunTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    FakeClock clock;
    const core::SerialField field{0x1FFC, 4, core::SerialFormat::BigEndian};

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        WriteFile(dir.filePath("p.bin"), "image"); // the file the row names
    }

    void programEndings() {
        const bool N = true, R = true;
        // clang-format off
        const std::tuple<const char*, Ending, bool, bool, bool, QString, bool> rows[] = {
        // numbered, read-back asked for, read-back made, the row's result, given back
        {"numbered, verified",  Ending::Verified,        N, !R, R,  "ok",         false},
        {"read-back differs",   Ending::Spoiled,         N, R,  R,  "mismatch",   true},
        {"adapter silent",      Ending::Silent,          N, R,  R,  "no answer",  true},
        {"port missing",        Ending::PortMissing,     N, R,  !R, "port error", true},
        {"no image chosen",     Ending::NoSource,        N, R,  !R, "cancelled",  true},
        {"short image refused", Ending::ShortRefused,    N, R,  !R, "cancelled",  true},
        {"short image filled",  Ending::ShortTaken,      N, !R, R,  "ok",         false},
        {"image unreadable",    Ending::Unreadable,      N, R,  !R, "file error", true},
        {"read-back skipped",   Ending::ReadBackSkipped, N, R,  !R, "ok",         true},
        {"port never opened",   Ending::PortNeverOpened, N, R,  !R, "port error", true},
        {"plain, read back",    Ending::Verified,        !N, R, R,  "ok",         false},
        {"plain, no read-back", Ending::Verified,        !N, !R, !R, "ok",        false},
        {"plain, differs",      Ending::Spoiled,         !N, R, R,  "mismatch",   false},
        };
        // clang-format on
        for (const auto& [name, ending, numbered, readBack, readBackMade, result, givenBack] :
             rows) {
            const QString store = dir.filePath(QString("%1.db").arg(name));
            adaptersim::AdapterModel model;
            model.Faults().silent = ending == Ending::Silent;
            model.Faults().portMissing = ending == Ending::PortMissing;
            model.Faults().spoiledPrograms = {ending == Ending::Spoiled ? 1 : 0};
            core::PortControl port([&](const QString&) {
                return std::make_unique<transport::SimTransport>(clock, model);
            });
            core::SetUpPort(port, core::PortChoice{2, QStringLiteral("sim")});
            core::Operations operations(port, clock);
            Front front;
            const bool isShort = ending == Ending::ShortRefused || ending == Ending::ShortTaken;
            if (ending == Ending::Unreadable) {
                front.source = core::ImageSource(dir.filePath("none.bin")); // read by the operation
            } else if (ending != Ending::NoSource) {
                front.source = core::ImageSource("p.bin", Pattern(isShort ? 200 : 256));
            }
            front.acceptSize = ending != Ending::ShortRefused;

            QByteArray expected = Pattern(isShort ? 200 : 256);
            expected.append(256 - expected.size(), char(0xFF));
            std::optional<core::Outcome> last;
            {
                ProductionRun run(clock);
                QVERIFY2(!run.Open(store, "/dev/ttyS1", 5), name);
                if (numbered) {
                    QVERIFY(!run.TakeNumber({"s", 1040, 1, {}}, "/dev/ttyS1", 60, field, Y));
                    QCOMPARE(run.WrittenNumber(), "00000410h at 1FFCh");
                    expected = expected.left(252) + QByteArray::fromHex("00000410");
                }
                run.Begin();
                if (ending != Ending::PortNeverOpened) {
                    const auto programmed = run.Program(operations, Y, front, {}, readBack, [&] {
                        return ending != Ending::ReadBackSkipped;
                    });
                    QCOMPARE(programmed.readBack.has_value(), readBackMade);
                    last = programmed.readBack ? *programmed.readBack : programmed.program;
                    QCOMPARE(run.Verified(), readBackMade && result == "ok");
                }
                QCOMPARE(front.sizeAsked,
                         isShort ? 1 : 0); // asked once, by the run or the operation
                if (result == "ok") {
                    QCOMPARE(model.Block('y'), expected); // the number patched into a whole block
                    QCOMPARE(run.Sent(), expected);
                }
                const auto recorded = run.Record(
                    core::Operation::Program, last ? &*last : nullptr,
                    {"Comm2", "/dev/ttyS1", "TMS370C758A", dir.filePath("p.bin"), {}, {}});
                QVERIFY2(recorded.written, qPrintable(recorded.why));
                QCOMPARE(recorded.givenBack, numbered && givenBack);
            }

            QString why;
            const auto journal = core::Journal::Open(store, &why);
            const auto rows = journal->Rows(QString(), QDateTime(), &why);
            QCOMPARE(rows->size(), 1);
            const core::JournalRow& row = rows->first();
            QCOMPARE(QStringList({row.operation, row.result, row.port, row.device, row.chip,
                                  row.version, row.bench, row.image, row.imageSha256}),
                     QStringList(
                         {"PROGRAM", result, "Comm2", "/dev/ttyS1", "TMS370C758A", TMS370_VERSION,
                          QSysInfo::machineHostName(), dir.filePath("p.bin"),
                          QCryptographicHash::hash("image", QCryptographicHash::Sha256).toHex()}));
            QVERIFY(row.time.isValid() && row.durationMs >= 0);
            QCOMPARE(row.serial.value_or(-1), numbered ? 1040 : -1);
            const bool chipRead = readBackMade && result != "no answer";
            QCOMPARE(row.crc32, chipRead ? core::Crc32Text(model.Block('y')) : QString());
            if (numbered) {
                const auto series = journal->Summary(&why)->first();
                QCOMPARE(QList<qint64>({series.used, series.givenBack, series.held}),
                         QList<qint64>({givenBack ? 0 : 1, givenBack ? 1 : 0, 0}));
            }
        }
    }

    // A serial number's bytes in each layout, at the edges of what a field holds.
    void encode() {
        using core::SerialFormat;
        const auto be = SerialFormat::BigEndian, le = SerialFormat::LittleEndian,
                   bcd = SerialFormat::Bcd, ascii = SerialFormat::Ascii;
        // clang-format off
        const std::tuple<quint64, int, SerialFormat, QByteArray> rows[] = { // "" does not fit
        {quint64(1042), 4, be, "00000412"}, {quint64(1042), 4, le, "12040000"},
        {quint64(1042), 4, bcd, "00001042"}, {quint64(1042), 6, ascii, "303031303432"},
        {quint64(255), 1, be, "FF"}, {quint64(256), 1, be, ""},
        {quint64(0xFFFFFF), 3, le, "FFFFFF"}, {quint64(0x1000000), 3, le, ""},
        {quint64(0x0102), 2, le, "0201"}, {std::numeric_limits<quint64>::max(), 8, be, "FFFFFFFFFFFFFFFF"},
        {quint64(9999), 2, bcd, "9999"}, {quint64(10000), 2, bcd, ""},
        {quint64(9999999999999999), 8, bcd, "9999999999999999"}, {quint64(10000000000000000), 8, bcd, ""},
        {quint64(9), 1, ascii, "39"}, {quint64(10), 1, ascii, ""},
        {quint64(99999999), 8, ascii, "3939393939393939"}, {quint64(100000000), 8, ascii, ""},
        {quint64(0), 2, bcd, "0000"},
        };
        // clang-format on
        for (const auto& [number, bytes, format, hex] : rows) {
            const std::optional<QByteArray> field = core::EncodeSerial(number, bytes, format);
            QVERIFY2(field.has_value() == !hex.isEmpty(), qPrintable(QString::number(number)));
            QCOMPARE(number <= core::LargestSerial(bytes, format), !hex.isEmpty());
            if (field) {
                QCOMPARE(field->toHex().toUpper(), hex);
                QCOMPARE(core::DecodeSerial(*field, format), number); // what a chip keeps
            }
        }
        for (const auto& [hex, format] : {std::pair("FFFF", bcd), {"3A30", ascii}, {"", be}}) {
            QCOMPARE(core::DecodeSerial(QByteArray::fromHex(hex), format), std::nullopt);
        }
    }

    void serialField() {
        // clang-format off
        const std::tuple<QString, const char*, int, QString> rows[] = { // offset -1: refused
        {"1E00h:2", "x", 0, ""}, {"0x1FFE:2:le", "x", 510, ""},
        {"1FFFh:2", "x", -1, "1FFFh to 2000h lies outside the EEPROM (1E00h to 1FFFh)"},
        {"1F00h:8:bcd", "y", 0, ""}, {"1fffh:1:ASCII", "y", 255, ""},
        {"1EFFh:1", "y", -1, "1EFFh to 1EFFh lies outside"},
        {"1FFC:4", "x", -1, "'1FFC' is no address"},
        {"1FFCh:9", "x", -1, "BYTES is 1 to 8, not '9'"},
        {"1FFCh", "x", -1, "ADDR:BYTES[:FORMAT]"}, {"1FFCh:4:be:2", "x", -1, "ADDR:BYTES[:FORMAT]"},
        {"1FFCh:4:hex", "x", -1, "unknown format 'hex'"},
        };
        // clang-format on
        for (const auto& [text, family, offset, why] : rows) {
            const core::Family& f = *core::FindFamily(family);
            QString error;
            const std::optional<core::SerialField> field = core::ParseSerialField(text, &error);
            if (field) {
                error = core::FieldOutsideEeprom(*field, f);
            }
            QVERIFY2(error.contains(why) && error.isEmpty() == (offset >= 0), qPrintable(error));
            if (offset < 0) { // a run refuses a field outside before it holds a number
                ProductionRun run(clock);
                const auto no =
                    field ? run.TakeNumber({}, "/dev/ttyS1", 60, *field, f) : std::nullopt;
                QVERIFY(!field ||
                        (no && no->kind == ProductionRun::Refusal::Kind::Outside && !run.Held()));
                continue;
            }
            // The number lands at its address and nowhere else.
            const QByteArray block(f.blockSize, char(0xA5));
            QCOMPARE(core::PatchSerial(block, *field, f, 7),
                     block.left(offset) + *core::EncodeSerial(7, field->bytes, field->format) +
                         block.mid(offset + field->bytes));
        }
    }

    void numbers() {
        QCOMPARE(core::ParseSerialNumber("1042"), qint64(1042));
        QCOMPARE(core::ParseSerialNumber("0x412"), qint64(1042));
        QCOMPARE(core::ParseSerialNumber("9223372036854775807"), qint64(9223372036854775807));
        QCOMPARE(core::ParseSerialNumber("9223372036854775808"), std::nullopt);
        QCOMPARE(core::ParseSerialNumber("-1"), std::nullopt);
        QCOMPARE(core::ParseSerialNumber("412h"), std::nullopt);
    }

    // Each algorithm against Python's zlib and binascii (CRC-16/CCITT-FALSE is crc_hqx from
    // FFFFh), over the standard check text and a block, stored in its byte order.
    void checksumsMatchAnIndependentComputation() {
        const QList<QByteArray> inputs = {"123456789", Block(512, 3), QByteArray()};
        QStringList script{QStringLiteral("import sys, zlib, binascii")};
        for (const QByteArray& data : inputs) {
            script << QStringLiteral("d = bytes.fromhex('%1')").arg(QLatin1String(data.toHex()))
                   << QStringLiteral("print('%02X %04X %04X %04X %08X' % (sum(d) % 256, "
                                     "sum(d) % 65536, sum(d) % 65536, binascii.crc_hqx(d, 0xFFFF), "
                                     "zlib.crc32(d)))");
        }
        QProcess python;
        python.start(QStringLiteral("python3"), {QStringLiteral("-c"), script.join(u'\n')});
        if (!python.waitForFinished(30000) || python.exitCode() != 0) {
            QSKIP("python3 is not installed: the independent checksums cannot be made");
        }
        const QStringList lines = QString::fromLatin1(python.readAllStandardOutput()).split(u'\n');
        for (int i = 0; i < inputs.size(); ++i) {
            QStringList mine; // sum8, sum16, sum16le, crc16, crc32
            for (int kind = 0; kind <= int(core::ChecksumKind::Crc32); ++kind) {
                const auto k = core::ChecksumKind(kind);
                mine << core::ChecksumValueText(k, core::ChecksumOf(k, inputs[i])).chopped(1);
            }
            QCOMPARE(mine.join(u' '), lines[i]);
        }
        QStringList stored; // each kind's field in its byte order
        for (int kind = 0; kind <= int(core::ChecksumKind::Crc32Le); ++kind) {
            stored << core::ChecksumBytes(core::ChecksumKind(kind), 0x12345678).toHex().toUpper();
        }
        QCOMPARE(stored.join(' '), "78 5678 7856 5678 12345678 78563412");
    }

    void optionsRefused() {
        // clang-format off
        const std::tuple<QStringList, QStringList, QString, QString> rows[] = {
        // kept ranges, checksums, the serial field ("" none), why ("" when they apply)
        {{"1E10h:16", "1F00h:2"}, {"1FF8h:sum8:1E00h-1E0Fh", "1FFEh:crc16"}, "1FFCh:2", ""},
        {{}, {"1FF0h:sum8:1E00h-1EFFh", "1FFEh:crc16"}, "", ""}, // the last over an earlier field
        {{"1DF8h:16"}, {}, "", "--keep 1DF8h:16: 1DF8h to 1E07h lies outside the EEPROM (1E00h to 1FFFh)"},
        {{"1FF8h:9"}, {}, "", "--keep 1FF8h:9: 1FF8h to 2000h lies outside the EEPROM (1E00h to 1FFFh)"},
        {{"1FF0h:13"}, {}, "1FFCh:4", "--keep 1FF0h:13 overlaps --serial at 1FFCh to 1FFFh"},
        {{"1FF0h:12"}, {}, "1FFCh:4", ""},
        {{"1FF0h:15"}, {"1FFEh:crc16"}, "", "--keep 1FF0h:15 overlaps the field of --checksum 1FFEh:crc16"},
        {{}, {"1FFEh:crc32"}, "", "--checksum 1FFEh:crc32: 1FFEh to 2001h lies outside the EEPROM (1E00h to 1FFFh)"},
        {{}, {"1FFEh:crc16:1D00h-1FFDh"}, "", "--checksum 1FFEh:crc16:1D00h-1FFDh: 1D00h to 1FFDh lies outside the EEPROM (1E00h to 1FFFh)"},
        {{}, {"1FFEh:crc16:1E00h-1FFEh"}, "", "--checksum 1FFEh:crc16:1E00h-1FFEh: the range holds the checksum's own field"},
        {{}, {"1FFBh:sum16"}, "1FFCh:4", "--checksum 1FFBh:sum16 overlaps --serial at 1FFCh to 1FFFh"},
        {{}, {"1FFCh:crc32", "1FFEh:sum8:1E00h-1E01h"}, "", "--checksum 1FFCh:crc32 overlaps --checksum 1FFEh:sum8:1E00h-1E01h"},
        {{}, {"1FFEh:crc16", "1F00h:sum8"}, "", "--checksum 1FFEh:crc16 and --checksum 1F00h:sum8 each cover the other's field: give one of them a range without the other"},
        {{}, {"1FFEh:crc16", "1F00h:sum8:1E00h-1E01h"}, "", "--checksum 1FFEh:crc16 covers the field of --checksum 1F00h:sum8:1E00h-1E01h, which is written after it: give --checksum 1F00h:sum8:1E00h-1E01h first"},
        };
        // clang-format on
        for (const auto& [keep, checksums, serial, why] : rows) {
            QString unused;
            const std::optional<core::SerialField> field =
                serial.isEmpty() ? std::nullopt : core::ParseSerialField(serial, &unused);
            QCOMPARE(Patches(keep, checksums).Conflict(X, field), why);
        }
    }

    void badOptionText() {
        QString why;
        for (const char* text : {"1E10h", "1E10:16", "1E10h:0", "1E10h:x", "1E10h:16:2"}) {
            QVERIFY(!production::ParseKeepRange(QLatin1String(text), &why));
            QVERIFY2(why.startsWith(QStringLiteral("--keep %1: give ADDR:LEN").arg(text)),
                     qPrintable(why));
        }
        QVERIFY(!production::ParseChecksumField(QStringLiteral("1FFEh:md5"), &why));
        QVERIFY(why.contains(QLatin1String("unknown checksum 'md5'")));
        for (const char* range : {"1E00h", "1E10h-1E00h", "1E00h-x"}) {
            QVERIFY(!production::ParseChecksumField(QStringLiteral("1FFEh:crc16:") + range, &why));
            QVERIFY2(why.contains(QStringLiteral("'%1' is no range").arg(range)), qPrintable(why));
        }
        QCOMPARE(production::ParseKeepRange(QStringLiteral("0x1E10:0x10"), &why)->length, 16);
    }

    // The chip's bytes where kept, the image's elsewhere; then each checksum over the block as
    // the earlier patches left it, its field at its place in its byte order.
    void keepThenChecksums() {
        const QByteArray image = Block(X.blockSize, 1), chip = Block(X.blockSize, 2);
        const BlockPatches patches =
            Patches({"1E10h:16", "1FFFh:1"},
                    {"1FF0h:sum16:1E00h-1E1Fh", "1FFEh:sum8:1FF0h-1FFDh", "1F00h:crc32le"});
        QVERIFY(patches.Conflict(X, std::nullopt).isEmpty());
        const QByteArray kept = patches.Keep(image, chip, X);
        QCOMPARE(kept,
                 image.left(0x10) + chip.mid(0x10, 16) + image.mid(0x20, 0x1DF) + chip.right(1));
        QCOMPARE(patches.KeptText(), QStringList({"kept 16 bytes at 1E10h from the chip",
                                                  "kept 1 bytes at 1FFFh from the chip"}));

        QStringList said;
        const QByteArray done = patches.WriteChecksums(kept, X, &said);
        const quint16 sum = core::ByteSum(kept.left(0x20));
        QCOMPARE(done.mid(0x1F0, 2), core::ChecksumBytes(core::ChecksumKind::Sum16, sum));
        QCOMPARE(quint8(done[0x1FE]), quint8(core::ByteSum(done.mid(0x1F0, 14))));
        const quint32 crc32 = core::Crc32(done.left(0x100) + done.mid(0x104));
        QCOMPARE(done.mid(0x100, 4), core::ChecksumBytes(core::ChecksumKind::Crc32Le, crc32));
        QCOMPARE(done.left(0x100) + done.mid(0x104, 0xEC) + done.right(1),
                 kept.left(0x100) + kept.mid(0x104, 0xEC) + kept.right(1));
        QCOMPARE(said.value(0), QStringLiteral("sum16 %1 at 1FF0h over 1E00h-1E1Fh")
                                    .arg(core::ChecksumValueText(core::ChecksumKind::Sum16, sum)));
        QCOMPARE(said.value(2),
                 QStringLiteral("crc32le %1 at 1F00h over 1E00h-1FFFh but the field")
                     .arg(core::ChecksumValueText(core::ChecksumKind::Crc32, crc32)));

        // A field at either end of the block: the rest of the block, named as one range.
        QStringList ends;
        Patches({}, {"1F00h:sum16le"}).WriteChecksums(Block(Y.blockSize, 4), Y, &ends);
        Patches({}, {"1FFEh:sum16"}).WriteChecksums(Block(Y.blockSize, 4), Y, &ends);
        QVERIFY2(ends[0].endsWith(QLatin1String("at 1F00h over 1F02h-1FFFh")), qPrintable(ends[0]));
        QVERIFY2(ends[1].endsWith(QLatin1String("at 1FFEh over 1F00h-1FFDh")), qPrintable(ends[1]));
    }
    // A [fields] section refused naming its line, in a layout file or beside a recipe's
    // options, which stay checked; program --recipe passes [fields] by.
    void fieldLayoutsRefused() {
        const std::pair<QByteArray, QString> rows[] = {
            {"[fields]\ngain = 1E10h:i17le\n", ":2: gain: unknown type 'i17le'"},
            {"[fields]\na = 1E00h:u8\nA = 1E01h:u8\n", ":3: A is named before, on line 2"},
            {"[fields]\na = 1E00h:u16le\nb = 1E01h:u8\n",
             ":3: b (1E01h to 1E01h) overlaps a of line 2 (1E00h to 1E01h)"},
            {"[fields]\nc = 1FFEh:crc16:1E00h-1FFFh\n",
             ":2: c: the range 1E00h-1FFFh holds the checksum's own bytes"},
            {"[fields]\nc = 1FFEh:crc16:1E10h-1E00h\n", ":2: c: '1E10h-1E00h' is no range"},
            {"[fields]\nc = 1FFEh:crc16\n", ":2: c: give the range the checksum covers"},
            {"[fields]\na = 1E00h:sum8:1E01h-1E10h\nb = 1E05h:sum8:1E00h-1E03h\n",
             ":2: a is in a ring of checksums"},
            {"[fields]\nmy gain = 1E00h:u8\n", ":2: 'my gain' is not a field name"},
            {"[field]\n", ":1: a recipe has the sections [recipe] and [fields]; not [field]"},
            {"[recipe]\nspeed = 1\n[fields]\n", ":2: 'speed' is not an option a recipe can give"},
            {"[recipe]\nport = sim\n", " holds no [fields] section"},
        };
        const QString path = dir.filePath("layout.ini");
        for (const auto& [text, why] : rows) {
            WriteFile(path, text);
            QString said;
            QVERIFY(!production::ReadFieldLayout(path, &said));
            QVERIFY2(said.startsWith(path + why), qPrintable(said));
        }
        WriteFile(path, "[fields]\ngain = 1E10h:u8\n[recipe]\nport = sim\n");
        QString why;
        QCOMPARE(production::ReadRecipe(path, &why)->entries.size(), 1);
        WriteFile(path, "[fields]\ngain = 1E10h:u8\n");
        QVERIFY(!production::ReadRecipe(path, &why));
        QVERIFY(why.endsWith(QLatin1String("holds no [recipe] section")));
    }

    // Values, a field outside the image, checksum state; the updates make every checksum
    // right, one whose range holds another's field figured after it.
    void fieldsEvaluatedAndChecksumsKeptRight() {
        QCOMPARE(production::FieldOrigin(false, 0, 512, &X), 0x1E00);
        QCOMPARE(production::FieldOrigin(false, 0, 256, &X), 0);
        QCOMPARE(production::FieldOrigin(true, 0x1F00, 256, &X), 0x1F00);
        const QString path = dir.filePath("fields.ini");
        WriteFile(path, "[fields]\ncrc = 1FFEh:crc16:1E00h-1FFDh\ngain = 1E10h:i16le\n"
                        "sum = 1E20h:sum8:1E00h-1E1Fh\nfar = 2000h:u8\n");
        QString why;
        const std::optional<production::FieldLayout> layout =
            production::ReadFieldLayout(path, &why);
        QVERIFY2(layout, qPrintable(why));
        QCOMPARE(layout->checksumOrder, QList<int>({2, 0}));
        QByteArray block = Block(X.blockSize, 5);
        block.replace(0x10, 2, "\x9C\xFF");
        const auto image = [&] { return production::FieldImageOf(block, X.eepromFirst); };
        const QList<production::Field>& fields = layout->fields;
        const auto text = [&](int i) {
            return production::FieldStateText(fields[i], production::Evaluate(fields[i], image()));
        };
        QCOMPARE(text(1), "gain -100");
        QCOMPARE(text(3), "far outside the image");
        const quint16 stored = quint16(quint8(block[0x1FE]) << 8 | quint8(block[0x1FF]));
        const quint16 wrong = core::Crc16CcittFalse(block.left(0x1FE));
        const auto crc = [](quint16 value) {
            return core::ChecksumValueText(core::ChecksumKind::Crc16, value);
        };
        QCOMPARE(text(0),
                 QStringLiteral("crc %1, should be %2 \u2717").arg(crc(stored), crc(wrong)));

        const auto updates = production::ChecksumUpdates(*layout, image());
        QCOMPARE(updates.size(), 2);
        for (const auto& [address, bytes] : updates) {
            block.replace(address - X.eepromFirst, bytes.size(), bytes);
        }
        QCOMPARE(quint8(block[0x20]), quint8(core::ByteSum(block.left(0x20))));
        QCOMPARE(block.right(2), core::ChecksumBytes(core::ChecksumKind::Crc16,
                                                     core::Crc16CcittFalse(block.left(0x1FE))));
        QVERIFY(text(0).endsWith(QStringLiteral("h \u2713")));
        QVERIFY(production::ChecksumUpdates(*layout, image()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(ProductionRunTest)
#include "tst_productionrun.moc"

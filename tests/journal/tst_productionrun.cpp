#include "FakeClock.h"
#include "ImageFiles.h"
#include "adaptersim/AdapterModel.h"
#include "core/Checksums.h"
#include "core/PortControl.h"
#include "core/PortDevices.h"
#include "production/ProductionRun.h"
#include "production/SerialNumbers.h"
#include "transport/SimTransport.h"

#include <QTemporaryDir>
#include <QtTest>
#include <limits>

using production::ProductionRun;

namespace {

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

// A production run's block, read-back, number and row for every way a PROGRAM ends; serial layouts.
class ProductionRunTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    FakeClock clock;
    const core::Family& family = *core::FindFamily("y"); // 256 bytes at 1F00h
    const core::SerialField field{0x1FFC, 4, core::SerialFormat::BigEndian};

    QString Store(const QString& name) const { return dir.filePath(name); }

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
            const QString store = Store(QString("%1.db").arg(name));
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
                    QVERIFY(!run.TakeNumber({"s", 1040, 1, {}}, "/dev/ttyS1", 60, field, family));
                    QCOMPARE(run.WrittenNumber(), "00000410h at 1FFCh");
                    expected = expected.left(252) + QByteArray::fromHex("00000410");
                }
                run.Begin();
                if (ending != Ending::PortNeverOpened) {
                    const auto programmed =
                        run.Program(operations, family, front, {}, readBack,
                                    [&] { return ending != Ending::ReadBackSkipped; });
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
                const auto recorded =
                    run.Record(core::Operation::Program, last ? &*last : nullptr,
                               {"Comm2", "/dev/ttyS1", "TMS370C758A", dir.filePath("p.bin")});
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
            }
        }
    }

    void serialField_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("offset"); // of the field in the block; -1 refused
        QTest::addColumn<QString>("why");
        // clang-format off
        QTest::newRow("x, first address") << "1E00h:2" << "x" << 0 << "";
        QTest::newRow("x, last address") << "0x1FFE:2:le" << "x" << 510 << "";
        QTest::newRow("x, one past the end") << "1FFFh:2" << "x" << -1 << "1FFFh to 2000h lies outside the EEPROM (1E00h to 1FFFh)";
        QTest::newRow("y, first address") << "1F00h:8:bcd" << "y" << 0 << "";
        QTest::newRow("y, last address") << "1fffh:1:ASCII" << "y" << 255 << "";
        QTest::newRow("y, one before") << "1EFFh:1" << "y" << -1 << "1EFFh to 1EFFh lies outside";
        QTest::newRow("no hex mark") << "1FFC:4" << "x" << -1 << "'1FFC' is no address";
        QTest::newRow("nine bytes") << "1FFCh:9" << "x" << -1 << "BYTES is 1 to 8, not '9'";
        QTest::newRow("no bytes") << "1FFCh" << "x" << -1 << "ADDR:BYTES[:FORMAT]";
        QTest::newRow("unknown format") << "1FFCh:4:hex" << "x" << -1 << "unknown format 'hex'";
        // clang-format on
    }
    void serialField() {
        QFETCH(QString, text);
        QFETCH(QString, family);
        QFETCH(int, offset);
        QFETCH(QString, why);
        const core::Family& f = *core::FindFamily(family);
        QString error;
        const std::optional<core::SerialField> field = core::ParseSerialField(text, &error);
        if (field) {
            error = core::FieldOutsideEeprom(*field, f);
        }
        QVERIFY2(error.contains(why), qPrintable(error));
        QCOMPARE(error.isEmpty(), offset >= 0);
        if (offset < 0) { // a run refuses a field outside before it holds a number
            ProductionRun run(clock);
            const auto no = field ? run.TakeNumber({}, "/dev/ttyS1", 60, *field, f) : std::nullopt;
            QVERIFY(!field ||
                    (no && no->kind == ProductionRun::Refusal::Kind::Outside && !run.Held()));
            return;
        }
        // The number lands at its address and nowhere else.
        const QByteArray block(f.blockSize, char(0xA5));
        QCOMPARE(core::PatchSerial(block, *field, f, 7),
                 block.left(offset) + *core::EncodeSerial(7, field->bytes, field->format) +
                     block.mid(offset + field->bytes));
    }

    void numbers() {
        QCOMPARE(core::ParseSerialNumber("1042"), qint64(1042));
        QCOMPARE(core::ParseSerialNumber("0x412"), qint64(1042));
        QCOMPARE(core::ParseSerialNumber("9223372036854775807"), qint64(9223372036854775807));
        QCOMPARE(core::ParseSerialNumber("9223372036854775808"), std::nullopt);
        QCOMPARE(core::ParseSerialNumber("-1"), std::nullopt);
        QCOMPARE(core::ParseSerialNumber("412h"), std::nullopt);
        QCOMPARE(core::WrittenSerial({0x1FFC, 4, core::SerialFormat::BigEndian}, 1042),
                 QStringLiteral("00000412h at 1FFCh"));
    }
};

QTEST_GUILESS_MAIN(ProductionRunTest)
#include "tst_productionrun.moc"

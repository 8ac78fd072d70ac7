#include "FakeClock.h"
#include "ImageFiles.h"
#include "adaptersim/AdapterModel.h"
#include "core/Checksums.h"
#include "core/PortControl.h"
#include "core/PortDevices.h"
#include "production/ProductionRun.h"
#include "transport/SimTransport.h"

#include <QTemporaryDir>
#include <QtTest>

using production::ProductionRun;
using Kind = ProductionRun::Refusal::Kind;

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

Q_DECLARE_METATYPE(Ending)

// What a production run decides: which block goes to the chip, whether it is read back, and
// what becomes of its number and its row, for every way a PROGRAM can end.
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

    void programEndings_data() {
        QTest::addColumn<Ending>("ending");
        QTest::addColumn<bool>("numbered");
        QTest::addColumn<bool>("readBack"); // asked for by the front end
        QTest::addColumn<bool>("readBackMade");
        QTest::addColumn<QString>("result"); // the row's
        QTest::addColumn<bool>("givenBack");
        const bool N = true, R = true;
        // clang-format off
        QTest::newRow("numbered, verified")   << Ending::Verified        << N << !R << R  << "ok"         << false;
        QTest::newRow("read-back differs")    << Ending::Spoiled         << N << R  << R  << "mismatch"   << true;
        QTest::newRow("adapter silent")       << Ending::Silent          << N << R  << R  << "no answer"  << true;
        QTest::newRow("port missing")         << Ending::PortMissing     << N << R  << !R << "port error" << true;
        QTest::newRow("no image chosen")      << Ending::NoSource        << N << R  << !R << "cancelled"  << true;
        QTest::newRow("short image refused")  << Ending::ShortRefused    << N << R  << !R << "cancelled"  << true;
        QTest::newRow("short image filled")   << Ending::ShortTaken      << N << !R << R  << "ok"         << false;
        QTest::newRow("image unreadable")     << Ending::Unreadable      << N << R  << !R << "file error" << true;
        QTest::newRow("read-back skipped")    << Ending::ReadBackSkipped << N << R  << !R << "ok"         << true;
        QTest::newRow("port never opened")    << Ending::PortNeverOpened << N << R  << !R << "port error" << true;
        QTest::newRow("plain, read back")     << Ending::Verified        << !N << R << R  << "ok"         << false;
        QTest::newRow("plain, no read-back")  << Ending::Verified        << !N << !R << !R << "ok"        << false;
        QTest::newRow("plain, differs")       << Ending::Spoiled         << !N << R << R  << "mismatch"   << false;
        // clang-format on
    }
    void programEndings() {
        QFETCH(Ending, ending);
        QFETCH(bool, numbered);
        QFETCH(bool, readBack);
        QFETCH(bool, readBackMade);
        QFETCH(QString, result);
        QFETCH(bool, givenBack);
        const QString store = Store(QString("%1.db").arg(QTest::currentDataTag()));
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
            QVERIFY(!run.Open(store, "/dev/ttyS1", 5));
            if (numbered) {
                QVERIFY(!run.TakeNumber({"s", 1040, 1, {}}, "/dev/ttyS1", 60, field, family));
                QCOMPARE(run.WrittenNumber(), "00000410h at 1FFCh");
                expected = expected.left(252) + QByteArray::fromHex("00000410");
            }
            run.Begin();
            if (ending != Ending::PortNeverOpened) {
                const auto programmed = run.Program(operations, family, front, {}, readBack, [&] {
                    return ending != Ending::ReadBackSkipped;
                });
                QCOMPARE(programmed.readBack.has_value(), readBackMade);
                last = programmed.readBack ? *programmed.readBack : programmed.program;
                QCOMPARE(run.Verified(), readBackMade && result == "ok");
            }
            QCOMPARE(front.sizeAsked, isShort ? 1 : 0); // asked once, by the run or the operation
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
                              row.version, row.bench}),
                 QStringList({"PROGRAM", result, "Comm2", "/dev/ttyS1", "TMS370C758A",
                              TMS370_VERSION, QSysInfo::machineHostName()}));
        QVERIFY(row.time.isValid() && row.durationMs >= 0);
        QCOMPARE(row.image, dir.filePath("p.bin"));
        QCOMPARE(row.imageSha256,
                 QCryptographicHash::hash("image", QCryptographicHash::Sha256).toHex());
        QCOMPARE(row.serial.value_or(-1), numbered ? 1040 : -1);
        // The CRC-32 of what the chip holds, when it was read back.
        const bool chipRead = readBackMade && result != "no answer";
        QCOMPARE(row.crc32, chipRead ? core::Crc32Text(model.Block('y')) : QString());
        if (numbered) {
            const auto series = journal->Summary(&why)->first();
            QCOMPARE(series.used, givenBack ? 0 : 1);
            QCOMPARE(series.givenBack, givenBack ? 1 : 0);
            QCOMPARE(series.held, 0);
        }
    }

    // Nothing is handed out, and nothing sent, for a run that cannot keep its number.
    void refusals() {
        const std::tuple<QString, QString, QString, Kind, QString> rows[] = {
            // the store, the field's address, the series, the refusal, its words
            {"no/such/j.db", "1FFCh", "s", Kind::Store, ""},
            {"postgresql://u:pw@localhost/j", "1FFCh", "s", Kind::Usage, ""},
            {"r.db", "1EFEh", "s", Kind::Outside, "lies outside the EEPROM"},
            {"r.db", "1FFCh", "done", Kind::UsedUp, "used up"},
            {"r.db", "1FFCh", "other", Kind::Usage, "began at 1, not 1040"}};
        QString why;
        if (auto journal = core::Journal::Open(Store("r.db"), &why)) {
            journal->Take({"done", 1, 1, 1}, "bench", "/dev/x", 60);
            journal->Take({"other", 1, 1, {}}, "bench", "/dev/x", 60);
        }
        for (const auto& [store, address, series, kind, words] : rows) {
            ProductionRun run(clock);
            auto refusal = run.Open(store.contains(':') ? store : Store(store), "/dev/ttyS1", 5);
            if (!refusal) {
                const core::SerialField at{address == "1FFCh" ? 0x1FFC : 0x1EFE, 2,
                                           core::SerialFormat::BigEndian};
                const std::optional<qint64> start =
                    series == "done" ? std::nullopt : std::optional<qint64>(1040);
                refusal = run.TakeNumber({series, start, {}, {}}, "/dev/ttyS1", 60, at, family);
                QVERIFY(!run.Held());
            }
            QVERIFY(refusal);
            QCOMPARE(refusal->kind, kind);
            QVERIFY2(refusal->why.contains(words), qPrintable(refusal->why));
        }
    }
};

QTEST_GUILESS_MAIN(ProductionRunTest)
#include "tst_productionrun.moc"

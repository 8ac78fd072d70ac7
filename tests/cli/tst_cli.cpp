#include "FakeClock.h"
#include "FileSystemLimits.h"
#include "ImageFiles.h"
#include "adaptersim/AdapterModel.h"
#include "cli/Interrupts.h"
#include "cli/Tool.h"
#include "core/Checksums.h"
#include "core/ImageFile.h"
#include "platform/QtSettingsStore.h"
#include "production/Journal.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>
#include <csignal>
#include <sys/stat.h>

using adaptersim::AdapterModel;
using adaptersim::Direction;

enum Fault { None, Silent, StopAfter40, MismatchAt37, PortMissing, PortBusy, DsrLow };

// The tool in process on the simulated adapter and the virtual clock.
class CliTest : public QObject {
    Q_OBJECT

    FakeClock clock;
    QTemporaryDir dir;
    std::unique_ptr<platform::QtSettingsStore> settings;
    AdapterModel model;
    QString out, err;
    QTextStream outStream{&out}, errStream{&err};
    std::unique_ptr<cli::ToolServices> services;

    QString Path(const QString& name) const { return dir.filePath(name); }

    void Write(const QString& name, const QByteArray& data) { WriteFile(Path(name), data); }
    QByteArray Read(const QString& name) { return ReadFile(Path(name)); }

    int Run(QString line) {
        out.clear();
        err.clear();
        line.replace(QLatin1String("%D"), dir.path());
        return cli::RunTool(line.split(QLatin1Char(' '), Qt::SkipEmptyParts), *services);
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init() {
        model = AdapterModel();
        settings = std::make_unique<platform::QtSettingsStore>(Path("settings.ini"));
        services.reset(new cli::ToolServices{clock, *settings, outStream, errStream, &model});
        Write("image.bin", Pattern(256));
        Write("short.bin", Pattern(200));
        Write("bad.ihx", ":021F0000ABCD67\n:021F0200ABCD00\n:00000001FF\n");
        Write("records.hex", core::EncodeImage(Pattern(256), core::ImageFormat::IntelHex,
                                               *core::FindFamily("y"), QString()));
    }

    void exitCodes() {
        const QString read = "read -p sim -d TMS370CX56A -o %D/read.bin ";
        const QString y = "program -p sim -d y -i %D/";
        // clang-format off
        const std::tuple<const char*, QString, Fault, int, const char*> rows[] = {
            {"read", read, None, 0, "READ: 512 bytes from TMS370C756A saved to %D/read.bin (raw bytes), CRC-32 BD7BC39F, sum FE00h"},
            {"read, silent adapter", read, Silent, 2, "READ: no answer from the adapter; %D/read.bin was kept as it was"},
            {"read, short answer", read, StopAfter40, 2, "READ: only 40 of 512 bytes were received"},
            {"verify, adapter marks", "verify -p sim -d x", MismatchAt37, 1, "Verify ERROR: the adapter marks the byte at 1E25h"},
            {"verify, short", "verify -p sim -d TMS370CX02", StopAfter40, 2, "Verify incomplete: only 40 of 256 answers"},
            {"port missing", read, PortMissing, 3, "tms370: sim: Error Comm: Port Number Invalid"},
            {"port busy", read, PortBusy, 3, "tms370: sim: port busy: "},
            {"DSR low", "erase -p sim -d y", DsrLow, 3, "Error Comm: Check Port Number/Cable/Turn ON Power Supply"},
            {"image missing", y + "none.bin", None, 4, "cannot read %D/none.bin"},
            {"raw image short", y + "short.bin", None, 4, "it is 200 bytes long, the block is 256 bytes. Give --pad"},
            {"raw image long", y + "image.bin -f raw --pad --no-verify", None, 0, "PROGRAM: %D/image.bin sent to family y; not read back (--no-verify)"},
            {"malformed Intel HEX", y + "bad.ihx", None, 4, "bad.ihx: line 2: checksum error"},
            {".hex holding records", y + "records.hex", None, 4, "Name the format: -f ihex"},
            {"target folder missing", "read -p sim -d y -o %D/no/x.bin", None, 4, "cannot write %D/no/x.bin"},
            {"trace unwritable", "erase -p sim -d y --trace %D/no/t.txt", None, 4, "cannot write the trace file"},
            {"refused", "erase -p sim -d TMS374C013", None, 64, "Command not support TMS374C003; TMS374C013"},
            {"unknown device", "read -p sim -d TMS9900 -o x", None, 64, "give one of TMS370CX56A, TMS370CX58A"},
            {"unknown port", "erase -p Comm9 -d y", None, 64, "unknown port 'Comm9'"},
            {"unknown option", "read --bogus", None, 64, "Unknown option 'bogus'"},
            {"missing options", "program -p sim", None, 64, "program needs -d DEVICE, -i FILE"},
            {"no command", "", None, 64, "no command given"},
            {"fields without a recipe", "fields %D/image.bin", None, 64, "fields needs FILE and --recipe RECIPE"},
        };
        // clang-format on
        for (const auto& [name, line, fault, code, wordsOf] : rows) {
            model = AdapterModel();
            adaptersim::AdapterFaults& f = model.Faults();
            f.silent = fault == Silent;
            f.stopAfter = fault == StopAfter40 ? 40 : -1;
            f.mismatchAt = fault == MismatchAt37 ? 37 : -1;
            f.portMissing = fault == PortMissing;
            f.portBusy = fault == PortBusy;
            f.dsrLow = fault == DsrLow;
            Write("read.bin", "old");
            QVERIFY2(Run(line) == code, name);
            const QString words = QString(wordsOf).replace(QLatin1String("%D"), dir.path());
            QVERIFY2((code <= 1 ? out : err).contains(words),
                     qPrintable(name + (": " + out) + err));
            if (code >= 2) {
                QCOMPARE(Read("read.bin"), QByteArray("old")); // a failed read leaves it
            }
            if (code == 4 || code == 64) {
                QVERIFY(model.WireLog().empty()); // refused before anything was sent
            }
            QCOMPARE(QDir(dir.path()).entryList({"*.bin.*", "*.ihx.*"}, QDir::Files), {});
        }
    }

    // A read-only output kept unless --force; a full disk named, for the image and the trace.
    void outputFiles() {
        const QString read = "read -p sim -d y -q --fast -o %D/out.bin";
        // clang-format off
        const std::tuple<QString, bool, int, int, QString> rows[] = { // read-only, size limit
        {read, true, 0, 4, "out.bin is read-only and was kept as it was; give --force"},
        {read + " --force", true, 0, 0, ""},
        {read, false, 100, 4, "out.bin: File too large"},
        {"erase -p sim -d y -q --trace %D/trace.txt", false, 20, 4, "tms370: the trace file %D/trace.txt is incomplete: File too large\n"},
        };
        // clang-format on
        for (auto [line, readOnly, limit, code, words] : rows) {
            QFile::setPermissions(Path("out.bin"), QFile::ReadOwner | QFile::WriteOwner);
            Write("out.bin", "old");
            QFile::setPermissions(Path("out.bin"), readOnly ? QFile::ReadOwner
                                                            : QFile::ReadOwner | QFile::WriteOwner);
            const QFile::Permissions mode = QFile::permissions(Path("out.bin"));
            {
                std::optional<FileSizeLimit> full;
                if (limit > 0) {
                    full.emplace(rlim_t(limit));
                }
                QVERIFY2(Run(line) == code, qPrintable(line));
            }
            QVERIFY2(err.contains(words.replace("%D", dir.path())), qPrintable(err));
            QCOMPARE(QFile::permissions(Path("out.bin")), mode);
            QCOMPARE(Read("out.bin").size(), code == 0 ? 256 : 3);
        }
    }

    void readWritesTheFormats() {
        model.SetEeprom(Pattern(512, 3));
        for (const auto& [name, format] : {std::pair<QString, QString>{"chip.s19", ""},
                                           {"chip.txt", "-f ihex"},
                                           {"chip.hex", ""}}) {
            QCOMPARE(Run("read -p sim -d TMS375C006 -q --fast -o %D/" + name + " " + format), 0);
            const core::LoadedImage image = core::LoadImageFile(
                Path(name), core::ParseImageFormat(format.mid(3)), *core::FindFamily("x"), false);
            QVERIFY2(image.block == Pattern(512, 3), qPrintable(image.message)); // .hex: raw
        }
        QVERIFY(Read("chip.s19")
                    .startsWith("S0" + QByteArray("0D0000") +
                                QByteArray("TMS375C006").toHex().toUpper()));
    }

    void programReadsTheChipBack() {
        const QByteArray image = Pattern(256, 5);
        Write("image.ihx", core::EncodeImage(image, core::ImageFormat::IntelHex,
                                             *core::FindFamily("y"), QString()));
        QCOMPARE(Run("program -p sim -d TMS370CX58A -q -i %D/image.ihx"), 0);
        QCOMPARE(out,
                 "PROGRAM: " + Path("image.ihx") +
                     " programmed into TMS370C758A and verified, CRC-32 87CEE65C, sum 7F80h\n");
        QCOMPARE(model.WireBytes(Direction::ToAdapter), "ypc" + image + "yrc");

        model.ClearWireLog();
        QCOMPARE(Run("program -p sim -d y -q --no-verify -i %D/image.bin"), 0);
        QCOMPARE(model.WireBytes(Direction::ToAdapter), "ypc" + Pattern(256)); // no read-back

        // The chip changes under the settle wait: the read-back finds it.
        const double settling = clock.NowMs() + 5000;
        clock.Schedule(settling, [this] {
            QByteArray eeprom = model.Eeprom();
            eeprom[256 + 0x25] = char(0x3C);
            eeprom[256 + 0x26] = char(0x00);
            model.SetEeprom(eeprom);
        });
        QCOMPARE(Run("program -p sim -d y -q --fast -i %D/image.bin"), 1);
        QVERIFY2(out.startsWith("Verify ERROR at 1F25h: wrote 03h, read 3Ch (2 bytes differ).\n"
                                "  1F25h  expected 03h  found 3Ch\n"),
                 qPrintable(out));

        // Host-side verify against the file: the count and the differing addresses.
        QCOMPARE(Run("verify -p sim -d y -q --fast -i %D/image.bin"), 1);
        QVERIFY2(out.startsWith("Verify ERROR at 1F25h: expected 03h, found 3Ch (2 bytes "
                                "differ).\n"),
                 qPrintable(out));
        QVERIFY(out.contains("VERIFY: 2 of 256 bytes differ from " + Path("image.bin")));
        QVERIFY(out.contains("  1F26h  expected 0Ah  found 00h\n"));
    }

    // The numbered path's wiring (its rules: ProductionRun's test) and the journal's listings.
    void serialNumbersAndTheJournal() {
        const QString serial = "program -p sim -d TMS370CX58A -q --fast -i %D/image.bin "
                               "--journal %D/j.db --serial 1FFCh:4 ";
        QCOMPARE(Run(serial + "--serial-start 1040"), 0);
        QCOMPARE(out, "Programmed and verified TMS370C758A, serial 1040 (00000410h at 1FFCh), " +
                          core::ChecksumText(Pattern(252) + QByteArray::fromHex("00000410")) +
                          "\n");
        // The journal locked while the chip settles: result told, kept for the next run, exit 6.
        QSqlDatabase locker = QSqlDatabase::addDatabase("QSQLITE", "locker");
        locker.setDatabaseName(Path("j.db"));
        clock.Schedule(clock.NowMs() + 5000,
                       [&locker] { locker.open() && QSqlQuery(locker).exec("BEGIN EXCLUSIVE"); });
        QCOMPARE(Run(serial + "--store-timeout 1"), 6);
        QVERIFY(out.startsWith("Programmed and verified TMS370C758A, serial 1041 "));
        QVERIFY2(err.contains("It is kept in "), qPrintable(err));
        locker.close();
        model.Faults().spoiledPrograms = {3};
        QCOMPARE(Run(serial), 1);
        QVERIFY2(err.contains("tms370: serial 1042 given back to series 'default'"),
                 qPrintable(err));
        QCOMPARE(Run("read -p sim -d y -q -o %D/read.bin --journal %D/j.db"), 0);

        QCOMPARE(Run("journal --journal %D/j.db --format csv"), 0);
        const QStringList lines = out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        auto field = [&lines](int row, int column) { return lines[row].split(',')[column]; };
        QCOMPARE(field(1, 6), Path("image.bin"));
        QCOMPARE(QStringList({field(1, 9), field(2, 9), field(3, 9), field(4, 9)}),
                 QStringList({"1040", "1041", "1042", ""}));
        QCOMPARE(QStringList({field(1, 10), field(2, 10), field(3, 10), field(4, 10)}),
                 QStringList({"ok", "ok", "mismatch", "ok"}));
        QCOMPARE(field(4, 5), "READ");
        QCOMPARE(Run("journal --journal %D/j.db --summary"), 0);
        QCOMPARE(out, "series   start  step  last  next  used  given back  held  two chips\n"
                      "default  1040   1     -     1042  2     1           0     0\n");
        QCOMPARE(Run("journal --journal %D/j.db --since 2999-01-01 --format json"), 0);
        QCOMPARE(out.simplified(), "[ ]");
        QCOMPARE(Run("journal --journal %D/none.db"), 6); // a listing makes no journal
        QVERIFY(err.contains("there is no journal at " + Path("none.db")));
        QVERIFY(!QFile::exists(Path("none.db")));
    }

    // Refused before a number is held or anything sent: 64 for usage, else 6.
    void serialRefusals() {
        const QString j = "--journal %D/r.db --serial 1FFCh:2 ";
        // clang-format off
        const std::tuple<const char*, QString, int, QString> rows[] = {
        {"another start", j + "--serial-start 7", 64, "series 'default' began at 1, not 7"},
        {"used up", j + "--series done", 6, "series 'done' is used up"},
        {"field used up", "--journal %D/r.db --serial 1FFCh:1:bcd --series bcd", 6, "series 'bcd' is used up for this field: its next number, 100, does not fit (the field holds up to 99)"},
        {"start does not fit", j + "--series big --serial-start 65536", 64, "--serial-start 65536 does not fit 2 bytes as be (at most 65535)"},
        {"outside the EEPROM", "--journal %D/r.db --serial 1EFEh:2", 64, "1EFEh to 1EFFh lies outside the EEPROM (1F00h to 1FFFh) of family y"},
        {"no read-back", j + "--no-verify", 64, "--no-verify cannot go with it"},
        {"no journal", "--serial 1FFCh:2", 64, "--serial needs a journal"},
        {"series option alone", "--series x", 64, "--series goes with --serial"},
        {"journal out of reach", "--journal %D/no/r.db --serial 1FFCh:2", 6, "tms370: journal: "},
        {"password given", "--journal postgresql://u:pw@localhost/j --serial 1FFCh:2", 64, "never given on the command line"},
        };
        // clang-format on
        QString why;
        auto journal = core::Journal::Open(Path("r.db"), &why);
        journal->Take({"default", 1, 1, std::nullopt}, "bench", "port", 120);
        journal->Take({"done", 1, 1, 1}, "bench", "port", 120);
        journal->Take({"bcd", 99, 1, std::nullopt}, "bench", "port", 120, 99);
        journal.reset();
        for (auto [name, options, code, words] : rows) {
            QVERIFY2(Run("program -p sim -d y -i %D/image.bin " + options) == code, name);
            QVERIFY2(err.contains(words.replace("%D", dir.path())), qPrintable(err));
            QVERIFY(model.WireLog().empty() && !err.contains("given back")); // no number held
        }
    }

    void ctrlC() {
        const QString read = "read -p sim -d x -o %D/read.bin", verify = "verify -p sim -d y";
        const QString program = "program -p sim -d y -i %D/image.bin";
        const QString kept = "READ cancelled; %D/read.bin was kept as it was.";
        // clang-format off
        const std::tuple<QString, QList<double>, int, int, QString> rows[] = { // presses at ms
        {read, {3000}, SIGINT, 130, kept},
        {program + " --no-verify", {5000}, SIGINT, 0, "Press Ctrl+C again to stop anyway."},
        {program, {5000, 6000}, SIGINT, 130, "PROGRAM stopped; the chip's contents are now unknown: erase it and program it again."},
        {program + " --serial 1FFCh:2 --journal %D/c.db --serial-start 7", {5000, 6000}, SIGINT, 130, "tms370: serial 7 given back to series 'default'"},
        {program, {5}, SIGINT, 130, "PROGRAM cancelled; the chip was not changed."},
        {read, {3000}, SIGTERM, 143, kept},
        {verify, {100}, SIGHUP, 129, "VERIFY cancelled."},
        {"erase -p sim -d y", {15}, SIGINT, 0, "Press Ctrl+C again"}, // as the letter goes
        };
        // clang-format on
        for (auto [line, pressesAtMs, signal, code, words] : rows) {
            model = AdapterModel();
            cli::Interrupts interrupts(errStream);
            services->interrupts = &interrupts;
            Write("read.bin", "old");
            for (double at : pressesAtMs) {
                clock.Schedule(clock.NowMs() + at, [signal] { std::raise(signal); });
            }
            QVERIFY2(Run(line) == code, qPrintable(line));
            services->interrupts = nullptr;
            QVERIFY2(err.contains(words.replace("%D", dir.path())), qPrintable(err));
            QCOMPARE(Read("read.bin"), QByteArray("old"));
            QCOMPARE(Run("verify -p sim -d y -q --fast"), 0); // the port was closed
        }
    }

    void traceListsEveryByte() {
        QCOMPARE(Run("clear-wpo -p sim -d y -q --trace %D/trace.txt"), 0);
        const QList<QByteArray> lines = Read("trace.txt").split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].endsWith(" > 79 y"));
        QVERIFY(lines[1].endsWith(" > 77 w"));
        QVERIFY(qAbs(lines[1].trimmed().split(' ').first().toDouble() -
                     lines[0].trimmed().split(' ').first().toDouble() - 10) < 1);
    }

    void listingsAndTheTerminalBar() {
        // Adapters as the system lists them: one by serial number, one twice over.
        struct Present : platform::PortEnumeration {
            QList<platform::SystemPort> Ports() const override {
                return {{"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0",
                         "FT232R USB UART", "FTDI", "A50285BI", 0x0403, 0x6001},
                        {"/dev/ttyACM0", "", "CDC", "", "TWIN", 0x2341, 0x0043},
                        {"/dev/ttyACM1", "", "CDC", "", "TWIN", 0x2341, 0x0043}};
            }
        } present;
        services->ports = &present;
        settings->SaveSetting("Ports", "Comm3", "sim");
        settings->SaveSetting("Ports", "Comm4", "usb:A50285BI");
        settings->SaveSetting("Ports", "Comm5", "usb:TWIN");
        settings->SaveSetting("Ports", "Comm6", "/dev/ttyUSB0");
        settings->SaveSetting("Ports", "Comm7", "/dev/tty\x1b[31mS9"); // no colour for the terminal
        qputenv("VIDAVEV_COMM2", "/dev/ttyUSB7");
        QCOMPARE(Run("ports"), 0);
        for (const char* line :
             {"Comm2  /dev/ttyUSB7             VIDAVEV_COMM2  not present\n",
              "Comm3  sim                      settings       present",
              "Comm4  usb:A50285BI             settings       present (FT232R USB UART, serial "
              "A50285BI)\n",
              "Comm5  usb:TWIN                 settings       not present (2 USB serial adapters "
              "have the serial number TWIN",
              "Comm6  /dev/ttyUSB0             settings       present (FT232R",
              "Comm7  /dev/tty\\x1b[31mS9",
              "  /dev/ttyUSB0     /dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0 0403:6001 "
              "A50285BI     FTDI           FT232R USB UART\n"}) {
            QVERIFY2(out.contains(line) && !out.contains('\x1b'), line);
        }
        QCOMPARE(Run("ports --format json"), 0);
        const QJsonObject listing = QJsonDocument::fromJson(out.toUtf8()).object();
        const QJsonArray items = listing["items"].toArray();
        QCOMPARE(items[1].toObject()["present"], QJsonValue(false));
        QCOMPARE(items[3].toObject()["path"], QJsonValue("/dev/ttyUSB0"));
        QCOMPARE(listing["system"].toArray()[0].toObject()["serialNumber"], QJsonValue("A50285BI"));
        QCOMPARE(Run("ports --format yaml"), 64);
        // A name from the environment is shown as the settings' are: escaped, cut short.
        qputenv("VIDAVEV_COMM2", "/dev/tty\x1b[31m" + QByteArray(300, 'U'));
        QCOMPARE(Run("erase -p Comm2 -d y"), 3);
        QVERIFY2(err.contains("Comm2 (/dev/tty\\x1b[31mUUU") && err.contains("(313 characters)") &&
                     !err.contains('\x1b') && !err.contains(QString(250, 'U')),
                 qPrintable(err));
        qunsetenv("VIDAVEV_COMM2");
        services->ports = nullptr;
        QCOMPARE(Run("devices"), 0);
        QVERIFY(out.contains("TMS374C013   TMS374C013A  t      1F00h-1FFFh  256   KV-6    verify "
                             "erase clear-wpo\n"));

        services->errIsTerminal = true;
        QCOMPARE(Run("read -p Comm3 -d x --fast -o %D/bar.bin"), 0);
        QVERIFY2(err.contains("\rREAD       [########################] 512/512 B  "),
                 qPrintable(err));
        QVERIFY(err.contains(" B/s  less than 1 s left"));
        QVERIFY(err.endsWith("\n"));
    }

    // The chip's own bytes kept and checksum fields written into what PROGRAM sends; BULK ERASE
    // confirmed by a read-back against FFh, a stuck cell named.
    void keptBytesChecksumsAndBlankChecks() {
        const QByteArray chip = Pattern(512, 3);
        model.SetEeprom(chip);
        Write("x.bin", QByteArray(512, 0x11));
        QCOMPARE(Run("program -p sim -d x -i %D/x.bin --keep 1E10h:16 --checksum 1FFEh:crc16"), 0);
        QByteArray expected = QByteArray(512, 0x11).replace(0x10, 16, chip.mid(0x10, 16));
        const quint16 crc = core::Crc16CcittFalse(expected.left(0x1FE));
        QCOMPARE(model.Block('x'),
                 expected.replace(0x1FE, 2, core::ChecksumBytes(core::ChecksumKind::Crc16, crc)));
        QVERIFY2(
            out.contains("verified") &&
                out.contains(QStringLiteral("; kept 16 bytes at 1E10h from the chip; crc16 %1 "
                                            "at 1FFEh over 1E00h-1FFDh")
                                 .arg(core::ChecksumValueText(core::ChecksumKind::Crc16, crc))),
            qPrintable(out));
        // Refused before anything is sent, naming both.
        model = AdapterModel();
        QCOMPARE(Run("program -p sim -d x -i %D/x.bin --keep 1FF0h:16 --checksum 1FFEh:sum8"), 64);
        QVERIFY2(err.contains("--keep 1FF0h:16 overlaps the field of --checksum 1FFEh:sum8"),
                 qPrintable(err));
        QVERIFY(model.WireLog().empty());
        // A first read that fails writes nothing.
        model.Faults().silent = true;
        QCOMPARE(Run("program -p sim -d x -i %D/x.bin --keep 1E10h:16"), 2);
        QVERIFY2(err.contains("reading the chip's kept bytes: no answer from the adapter; nothing "
                              "was written"),
                 qPrintable(err));
        QVERIFY(model.WireBytes(Direction::ToAdapter).startsWith("xrc")); // no PROGRAM letter
        QVERIFY(!model.WireBytes(Direction::ToAdapter).contains('p'));

        model = AdapterModel();
        model.SetEeprom(chip);
        model.Faults().stuckAt = 0x105;
        QCOMPARE(Run("erase -p sim -d x --verify"), 1);
        QCOMPARE(out.trimmed(), "Erased but not blank: 1F05h holds 26h; 1 of 512 bytes is not FFh");
        QCOMPARE(Run("verify -p sim -d y --blank"), 1);
        QVERIFY2(out.startsWith("Not blank: 1F05h holds 26h; 1 of 256 bytes is not FFh"),
                 qPrintable(out));
        model.Faults().stuckAt = -1;
        QCOMPARE(Run("erase -p sim -d x --verify"), 0);
        QCOMPARE(out.trimmed(), "Erased and blank: 512 bytes FFh");
        QCOMPARE(Run("verify -p sim -d TMS374C013 --blank"), 0); // read back: no family refuses it
        QCOMPARE(out.trimmed(), "Blank: 256 bytes FFh");
        QCOMPARE(Run("verify -p sim -d y --blank -i %D/x.bin"), 64);
    }

    // A chip that holds the image already is left alone and keeps its number; a session of
    // chips fed from stdin, a failure in the middle; a recipe, and the line that overrides it.
    void sameChipsSessionsAndRecipes() {
        const QString program = "program -p sim -d x -q -i %D/x.bin --journal %D/s.db "
                                "--serial 1FFCh:4 --serial-start 50 ";
        Write("x.bin", QByteArray(512, 0x22));
        QCOMPARE(Run(program), 0);
        model.ClearWireLog();
        QCOMPARE(Run(program + "--skip-same"), 0);
        QVERIFY2(out.startsWith("PROGRAM: same: family x already holds") &&
                     out.contains("serial 50 kept"),
                 qPrintable(out));
        QVERIFY(!model.WireBytes(Direction::ToAdapter).contains('p'));

        model = AdapterModel();
        model.Faults().spoiledPrograms = {2};
        QString lines = "\n\nq\n";
        QTextStream in(&lines);
        services->in = &in;
        QCOMPARE(Run(program + "--repeat"), 1);
        QCOMPARE(err.count("Insert the next chip and press Enter (q and Enter to stop)"), 3);
        QVERIFY2(out.endsWith("Session: 3 chips, 2 verified (serials 51 to 52), 0 same, 1 failed, "
                              "1 number given back\n"),
                 qPrintable(out));
        QCOMPARE(model.Block('x').right(4), QByteArray::fromHex("00000034")); // 52 took 52 back
        services->in = nullptr;
        QCOMPARE(Run("journal --journal %D/s.db --format csv"), 0);
        QStringList rows = out.split('\n', Qt::SkipEmptyParts);
        QVERIFY2(rows[2].contains(",50,same,") && rows[4].contains(",52,mismatch,"),
                 qPrintable(out));

        const QByteArray recipe = "\xEF\xBB\xBF; line 1\r\n[recipe]\r\nport = sim\r\ndevice = x\n"
                                  "image = x.bin\njournal = s.db\nquiet = true\n"
                                  "keep = 1E10h:4, 1E20h:4\n[fields]\ngain = 1E10h:i16le\n";
        Write("line.ini", recipe);
        QCOMPARE(Run("program --recipe %D/line.ini"), 0);
        QVERIFY2(out.contains("; kept 4 bytes at 1E10h from the chip; kept 4 bytes at 1E20h"),
                 qPrintable(out));
        QCOMPARE(Run("program --recipe %D/line.ini --keep 1E30h:2 --journal %D/t.db"), 0);
        QVERIFY2(out.endsWith("; kept 2 bytes at 1E30h from the chip\n"), qPrintable(out));
        QCOMPARE(Run("journal --journal %D/s.db --format csv"), 0);
        rows = out.split('\n', Qt::SkipEmptyParts);
        QVERIFY2(rows.last().endsWith(
                     ",line.ini," +
                     QCryptographicHash::hash(recipe, QCryptographicHash::Sha256).toHex()),
                 qPrintable(rows.last()));
        Write("bad.ini", "[recipe]\nport = sim\n\nspeed = 9600\n");
        QCOMPARE(Run("program --recipe %D/bad.ini"), 64);
        QVERIFY2(err.contains(Path("bad.ini") + ":4: 'speed' is not an option"), qPrintable(err));
        QCOMPARE(::mkfifo(Path("fifo").toLocal8Bit(), 0600), 0); // refused, not read forever
        QCOMPARE(Run("program --recipe %D/fifo"), 64);
    }
    // A records image read as such whatever its name; values, a field outside the image, a
    // checksum that does not match (exit 1, for a Makefile), then one that does.
    void fieldsOfAnImage() {
        Write("f.ini", "[recipe]\ndevice = y\n[fields]\nw = 1F20h:u16be\nfar = 2000h:u8\n"
                       "crc = 1FFEh:crc16:1F00h-1FFDh\n");
        QCOMPARE(Run("fields %D/records.hex --recipe %D/f.ini --format json"), 1);
        QVERIFY2(err.contains("the checksum field crc does not match its range"), qPrintable(err));
        const QJsonArray fields = QJsonDocument::fromJson(out.toUtf8())["fields"].toArray();
        QCOMPARE(fields[0]["value"].toString(), QString::number(0xE0 * 256 + 0xE7));
        QCOMPARE(fields[1]["inside"].toBool(true), false);
        const QJsonObject crc = fields[2]["checksum"].toObject();
        QCOMPARE(crc["matches"].toBool(true), false);
        QCOMPARE(crc["expected"].toInteger(), core::Crc16CcittFalse(Pattern(256).left(0xFE)));

        QByteArray image = Pattern(256);
        image.replace(
            0xFE, 2,
            core::ChecksumBytes(core::ChecksumKind::Crc16, quint32(crc["expected"].toInteger())));
        Write("image.bin", image);
        QCOMPARE(Run("fields %D/image.bin --recipe %D/f.ini"), 0);
        QVERIFY2(
            out.contains(QStringLiteral("crc   1FFEh    crc16:1F00h-1FFDh  %1 \u2713")
                             .arg(core::ChecksumValueText(core::ChecksumKind::Crc16,
                                                          quint32(crc["expected"].toInteger())))),
            qPrintable(out));
        QCOMPARE(Run("fields %D/image.bin --recipe %D/none.ini"), 4);
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"

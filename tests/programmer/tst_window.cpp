#include "FailingTransport.h"
#include "ImageFiles.h"
#include "TestServices.h"
#include "about/frmAbout.h"
#include "adaptersim/AdapterModel.h"
#include "common/Module1.h"
#include "core/DeviceCatalogue.h"
#include "core/ImageFile.h"
#include "core/PortDevices.h"
#include "platform/MessageBoxes.h"
#include "platform/RuntimeError.h"
#include "production/Journal.h"
#include "programmer/AssignPortsDialog.h"
#include "programmer/Form3.h"
#include "programmer/ProductionDialogs.h"
#include "programmer/frmMain.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <sys/stat.h>

using namespace platform::MsgStyle;
using adaptersim::AdapterFaults;
using platform::MsgAnswer::Cancel;
using platform::MsgAnswer::No;
using platform::MsgAnswer::OK;
using platform::MsgAnswer::Yes;

namespace {

const QString CheckPort =
    QStringLiteral("Error Comm: Check Port Number/Cable/Turn ON Power Supply");
const QStringList Ended{"closeAllFiles", "unloadOthers", "endProgram"};

// The main window on the simulated adapter in virtual time; every link it calls is noted.
struct Bench {
    TestServices t;
    adaptersim::AdapterModel model;
    PortFaults failing; // nothing fails until told to
    core::PortControl port{SimulatedLine(t.clock, model, failing)};
    QTemporaryDir files;
    QStringList calls, ends; // the links called; what the program says on stderr as it ends
    std::unique_ptr<frmMain> w;

    explicit Bench(bool choosePort = true) {
        t.services.port = &port;
        const auto note = [this](const char* link) { return [this, link] { calls << link; }; };
        frmMain::Links links;
        links.closeAllFiles = note("closeAllFiles");
        links.unloadOthers = note("unloadOthers");
        links.endProgram = note("endProgram");
        links.showMemory = note("showMemory");
        links.showAbout = note("showAbout");
        links.reportEnd = [this](const QString& line) { ends << line; };
        w = std::make_unique<frmMain>(t.services, links);
        w->show();
        if (choosePort) {
            w->mnuComm[1]->trigger(); // Comm2, tested for DSR
        }
        model.ClearWireLog();
    }

    void Choose(const char* item) { w->findChild<QAction*>(QLatin1String(item))->trigger(); }
    QString Path(const QString& name) const { return files.filePath(name); }
    void Answer(const QString& name) { t.dialogs.answers << Path(name); } // at the next dialog
    QPushButton* Button(int n) const {                                    // 1 READ .. 5 BULK ERASE
        return std::array{w->Command1, w->Command2, w->Command3, w->Command4, w->Command5}[n - 1];
    }
    QString Click(int n) {
        Button(n)->click();
        return w->lblResult->text();
    }
    // Every Port Number item enabled (or not) and checked (or not).
    bool PortItems(bool enabled, bool checked) const {
        return std::all_of(w->mnuComm.begin(), w->mnuComm.end(), [&](QAction* item) {
            return item->isEnabled() == enabled && item->isChecked() == checked;
        });
    }
    QByteArray Sent() const { return model.WireBytes(adaptersim::Direction::ToAdapter); }
    QString Box() const { return t.messages.shown.value(0).prompt; }
};

// Serial numbers on, through the dialog, as big-endian numbers with the journal in the bench's
// folder; what the dialog says when it refuses.
QString NumberChips(Bench& b, const QString& address = "1FFCh", int bytes = 4,
                    const QString& start = "1040", const QString& journal = "journal.db") {
    SerialNumbersDialog dialog(b.t.settings, b.t.dialogs);
    dialog.chkSerial->setChecked(true);
    dialog.txtAddress->setText(address);
    dialog.spnBytes->setValue(bytes);
    dialog.cboFormat->setCurrentIndex(dialog.cboFormat->findData("be"));
    dialog.txtStart->setText(start);
    dialog.txtJournal->setText(journal.isEmpty() ? journal : b.Path(journal));
    return dialog.Save() ? QString() : dialog.lblStatus->text();
}

QByteArray Encoded(const QByteArray& block, core::ImageFormat format) {
    return core::EncodeImage(block, format, *core::FindFamily("y"), "TMS370C758A");
}

// What goes wrong on the way of an operation, or is done on its way.
// clang-format off
enum Fault { None, Silent, Stop40, ReadFails, WriteFails, Vanished, Mismatch, Error5, Worn,
    ReadBack, Outside, Unreachable, Blank, Stuck, // Blank, Stuck: Verify After Erase on
    Cancelled, Escape, Closed, // the Working window's Cancel, Esc, close box
    Shut, ShutInReadBack };
// clang-format on

const QByteArray Chip = Pattern(512, 1).mid(256); // what the TMS370C758A holds
const QByteArray Image = Pattern(256, 9);
const QByteArray Hex = Encoded(Image, core::ImageFormat::IntelHex);
const QString Size256 = "Warning: uploading buffer size <> 256 bytes!\nf.bin is ";

// One way an operation can end, and what the window tells the user of it.
struct Ending {
    const char* name;
    const char* item; // the device chosen, "" none
    int button;       // 1 READ .. 5 BULK ERASE, 6 Verify Against File
    // "" no dialog; "cancel" (the dialog cancelled); "old" (1000 bytes there); "fw.bin" (the
    // same, read-only); "fifo"; else the file's name, written with content unless it is null
    const char* file;
    QByteArray content;
    QList<int> answers; // to the boxes, in turn
    Fault fault;
    // "" no box; "%P" stands for the file's path; ending in "…", the box's start (and it names
    // the file)
    QString prompt;
    int style;
    bool freed;                 // the Port Number menu is given back
    const char* wire;           // what went to the adapter, nullptr not looked at
    QByteArray programmed;      // the block the chip was told to store, null not looked at
    const char* result;         // in the status bar, nullptr not looked at
    const char* said = nullptr; // on stderr as the program ends
};

const QByteArray Null, Never(""); // not looked at; the chip never told to start

// clang-format off
const Ending Endings[] = {
    {"no device chosen",             "",               1, "",       Null, {}, None,       "Select Device before start operation", Exclamation, false, "", Null, nullptr},
    {"refused by the device",        "mnuTMS374C003",  3, "",       Null, {}, None,       "Command not support TMS374C003; TMS374C013", Exclamation, false, "", Null, nullptr},
    {"read, dialog cancelled",       "mnuTMS370CX42A", 1, "cancel", Null, {}, None,       "", 0, false, "yre", Null, nullptr},
    {"program, dialog cancelled",    "mnuTMS370CX42A", 2, "cancel", Null, {}, None,       "", 0, false, "ype", Null, nullptr},
    {"read into S-records",          "mnuTMS370CX58A", 1, "chip.s19", Null, {}, None,     "", 0, false, nullptr, Null, "READ: 256 bytes from TMS370C758A saved to chip.s19 (S-records), CRC-32 D48DDFE9, sum 7F80h, "},
    {"program, not read back",       "mnuTMS370CX58A", 2, "f.bin",  Image, {}, None,      "", 0, false, nullptr, Image, "PROGRAM: f.bin sent to TMS370C758A; not read back (Verify After Program is off), CRC-32 689095EA, sum 7F80h"},
    {"clear WPO",                    "mnuTMS370CX58A", 4, "",       Null, {}, None,       "", 0, false, nullptr, Null, "CLEAR WPO sent (the adapter does not confirm it)"},
    {"bulk erase",                   "mnuTMS370CX58A", 5, "",       Null, {}, None,       "", 0, false, nullptr, Null, "BULK ERASE sent (the adapter does not confirm it)"},
    {"bulk erase, checked blank",    "mnuTMS370CX58A", 5, "",       Null, {}, Blank,      "", 0, false, "ybyrc", Null, "Erased and blank: 256 bytes FFh, "},
    {"bulk erase, a cell stuck",     "mnuTMS370CX58A", 5, "",       Null, {}, Stuck,      "Erased but not blank: 1F10h holds 71h; 1 of 256 bytes is not FFh", Exclamation, false, nullptr, Null, "Erased but not blank: 1F10h holds 71h; 1 of"},
    {"read, silent adapter",         "mnuTMS370CX58A", 1, "old",    Null, {}, Silent,     CheckPort + "\nold was kept as it was.", Critical, true, nullptr, Null, nullptr},
    {"read, short into a new file",  "mnuTMS370CX58A", 1, "new",    Null, {}, Stop40,     "Only 40 of 256 bytes were received from the adapter. The file …", Exclamation, true, nullptr, Null, nullptr},
    {"read, short over a file",      "mnuTMS370CX58A", 1, "old",    Null, {}, Stop40,     "Only 40 of 256 bytes were received from the adapter. Replace …", Exclamation | YesNo | DefaultButton2, true, nullptr, Null, nullptr},
    {"read, port fails",             "mnuTMS370CX58A", 1, "old",    Null, {}, ReadFails,  "Error reading comm port\nread failed\nold was kept as it was.", Exclamation, true, nullptr, Null, nullptr},
    {"read, read-only file",         "mnuTMS370CX58A", 1, "fw.bin", Null, {}, None,       "fw.bin is read-only. Replace it anyway?", Question | YesNo | DefaultButton2, false, nullptr, Null, nullptr},
    {"read, folder missing",         "mnuTMS370CX58A", 1, "no/such/folder.bin", Null, {}, None, "Could not write the image file …", Exclamation, false, nullptr, Null, nullptr},
    {"read, Cancel pressed",         "mnuTMS370CX58A", 1, "old",    Null, {}, Cancelled,  "", 0, false, nullptr, Null, "READ cancelled; old was kept as it was"},
    {"read, Esc pressed",            "mnuTMS370CX58A", 1, "old",    Null, {}, Escape,     "", 0, false, nullptr, Null, nullptr},
    {"read, main window closed",     "mnuTMS370CX58A", 1, "old",    Null, {}, Shut,       "", 0, false, nullptr, Null, nullptr, "READ cancelled: the image file is unchanged."},
    {"program, closing refused",     "mnuTMS370CX58A", 2, "f.bin",  Image, {No}, Shut,    "The chip is being programmed. Closing now leaves it partly written. Close anyway?", Exclamation | YesNo | DefaultButton2, false, nullptr, Image, nullptr},
    {"read-back, main window closed","mnuTMS370CX58A", 2, "f.bin",  Image, {}, ShutInReadBack, "", 0, false, nullptr, Image, nullptr, "PROGRAM stopped during its read-back: the chip was programmed but is not verified."},
    {"program, FIFO chosen",         "mnuTMS370CX58A", 2, "fifo",   Null, {}, None,       "Could not read the image file …", Exclamation, false, nullptr, Never, nullptr},
    {"program, port fails",          "mnuTMS370CX58A", 2, "f.bin",  Image, {}, WriteFails, "Device Busy\nwrite failed\nThe chip may be partly written: erase it and program it again.", Exclamation, true, nullptr, Null, nullptr},
    {"program, adapter gone",        "mnuTMS370CX58A", 2, "f.bin",  Image, {}, Vanished,  "The port failed during PROGRAM: the adapter or its cable went away.\nThe chip may be partly written: erase it and program it again.", Exclamation, true, nullptr, Null, nullptr},
    {"program, Working window closed","mnuTMS370CX58A",2, "f.bin",  Image, {}, Closed,    "", 0, false, nullptr, Image, nullptr},
    {"program, field outside",       "mnuTMS370CX58A", 2, "f.bin",  Image, {}, Outside,   "1EFEh to 1EFFh lies outside the EEPROM (1F00h to 1FFFh).", Exclamation, false, "", Null, nullptr},
    {"program, Intel HEX",           "mnuTMS370CX58A", 2, "f.ihx",  Hex, {}, ReadBack,    "", 0, false, nullptr, Image, " and verified"},
    {"program, records in .hex",     "mnuTMS370CX58A", 2, "f.hex",  Hex, {Yes}, ReadBack, "f.hex holds Intel HEX records, not raw bytes. Program the data they describe?", Question | YesNo, false, nullptr, Image, " and verified"},
    {"program, records refused",     "mnuTMS370CX58A", 2, "f.hex",  Hex, {No}, ReadBack,  "f.hex holds Intel HEX …", 0, false, nullptr, Never, nullptr},
    {"program, raw bytes in .hex",   "mnuTMS370CX58A", 2, "f.hex",  Image, {}, ReadBack,  "", 0, false, nullptr, Image, nullptr},
    {"program, records unreadable",  "mnuTMS370CX58A", 2, "f.ihx",  ":021F0000ABCD67\n:021F0200ABCD00\n:00000001FF\n", {}, None, "The image file \"%P\" cannot be programmed: line 2: checksum error …", Exclamation, false, nullptr, Never, nullptr},
    {"program, short image",         "mnuTMS370CX58A", 2, "f.bin",  Pattern(100), {OK}, None, Size256 + "100 bytes; the TMS370C758A block is 256 bytes. The rest is filled with FFh.", Exclamation | OKCancel, false, nullptr, Pattern(100) + QByteArray(156, '\xFF'), nullptr},
    {"program, long image refused",  "mnuTMS370CX58A", 2, "f.bin",  Pattern(300), {Cancel}, None, Size256 + "300 bytes; the TMS370C758A block is 256 bytes. The bytes past the first 256 are not sent.", Exclamation | OKCancel, false, nullptr, Never, nullptr},
    {"program, size warning legacy", "mnuTMS370CX56A", 2, "f.bin",  Image, {}, None,      "Warning: uploading buffer size <> 512 bytes!\nf.bin is 256 bytes; the TMS370C756A block is 512 bytes. The rest is filled with FFh.", Exclamation | OKCancel, false, nullptr, Null, nullptr},
    {"program and verify, worn cell","mnuTMS370CX58A", 2, "f.bin",  Image, {}, Worn,      "Verify ERROR at 1F25h: wrote 0Ch, read 00h (1 byte differs).", Exclamation, false, nullptr, Null, nullptr},
    {"verify, mismatch",             "mnuTMS370CX42A", 3, "",       Null, {}, Mismatch,   "Verify ERROR", Exclamation, false, nullptr, Null, nullptr},
    {"verify, silent adapter",       "mnuTMS370CX42A", 3, "",       Null, {}, Silent,     CheckPort, Critical, true, nullptr, Null, nullptr},
    {"verify, stops after 40",       "mnuTMS370CX42A", 3, "",       Null, {}, Stop40,     "Verify incomplete: only 40 of 256 answers were received from the adapter. Check the adapter and its power supply, then verify again.", Exclamation, true, nullptr, Null, nullptr},
    {"verify, error 5",              "mnuTMS370CX42A", 3, "",       Null, {}, Error5,     "ERROR. RESTART PROGRAM", Critical, true, nullptr, Null, nullptr},
    {"verify, journal out of reach", "mnuTMS370CX58A", 3, "",       Null, {}, Unreachable, "The journal cannot be reached, so nothing was sent to the adapter:\n…", Exclamation, false, "", Null, nullptr},
    {"compare, Intel HEX matches",   "mnuTMS370CX58A", 6, "f.ihx",  Encoded(Chip, core::ImageFormat::IntelHex), {}, None, "", 0, false, nullptr, Null, "VERIFY: TMS370C758A matches f.ihx (256 bytes)"},
    {"compare, records in .hex",     "mnuTMS370CX58A", 6, "f.hex",  Hex, {}, None,        "f.hex holds Intel HEX records, not raw bytes. Compare with the data they describe?", Question | YesNo, false, nullptr, Null, nullptr},
    {"compare, a byte differs",      "mnuTMS370CX58A", 6, "f.bin",  QByteArray(Chip).replace(0x25, 1, "\xC3"), {}, None,      "Verify ERROR at 1F25h: expected C3h, found 04h (1 byte differs).", Exclamation, false, nullptr, Null, nullptr},
    {"compare, image too long",      "mnuTMS370CX58A", 6, "f.bin",  Pattern(300), {}, None, "The image file \"%P\" cannot be compared with the chip: it is 300 bytes long, the block is 256 bytes.", Exclamation, false, nullptr, Null, nullptr},
};
// clang-format on

} // namespace

// The main window: its menus and ports, how each operation ends in it, the Working window,
// the end of the program, the Production menu's dialogs and the About box.
class WindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir temp; // the folder of the working image

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        QVERIFY(Module1::WorkImagePath().startsWith(QDir::toNativeSeparators(temp.path())));
    }

    // The menus before a port is chosen; then Comm2 on a powered adapter: the port items
    // locked, the options free, Fast Receive kept for the next run.
    void menusAndTheirItems() {
        Bench b(false);
        QVERIFY(!b.w->mnuDevice->menuAction()->isEnabled() && !b.w->IsDeviceSelected());
        QVERIFY(b.PortItems(true, false) && b.w->PortNumber() == 0);
        for (QMenu* menu : {b.w->mnuPort_Number, b.w->mnuDevice}) { // an access key to each
            QList<QKeySequence> keys;
            for (QAction* item : menu->actions()) {
                const QKeySequence key = QKeySequence::mnemonic(item->text());
                QVERIFY2(item->isSeparator() || (!key.isEmpty() && !keys.contains(key)),
                         qPrintable(item->text()));
                keys << key;
            }
        }
        QMenuBar* bar = b.w->menuBar(); // none hides behind the menu bar's "more"
        for (QAction* menu : bar->actions()) {
            const QRect place = bar->actionGeometry(menu);
            QVERIFY2(!place.isEmpty() && bar->rect().contains(place), qPrintable(menu->text()));
        }
        for (int index = 0; index < 8; ++index) {
            b.w->deviceItems[(index + 3) % 8]->trigger(); // the previous check mark has to go
            const core::DeviceRow& row = core::DeviceCatalogue[index];
            b.Choose(row.item);
            for (int i = 0; i < 8; ++i) {
                QCOMPARE(b.w->deviceItems[i]->isChecked(), i == index);
            }
            QCOMPARE(b.w->Label1->text(), QLatin1String(row.status));
            QVERIFY(b.w->DeviceCode() == QLatin1String(row.code) && b.w->IsDeviceSelected());
        }
        b.w->mnuComm[1]->trigger();
        for (int i = 0; i < 8; ++i) {
            QVERIFY(!b.w->mnuComm[i]->isEnabled() && b.w->mnuComm[i]->isChecked() == (i == 1));
            QVERIFY(
                b.w->mnuComm[i]->toolTip().startsWith(core::PortDeviceName(b.t.settings, i + 1)));
        }
        QVERIFY(b.w->mnuDevice->menuAction()->isEnabled() && b.w->PortNumber() == 2);
        QVERIFY(b.port.CommPort() == 2 && b.port.RThreshold() == 1 && !b.port.PortOpen());
        QVERIFY(b.model.WireLog().empty() && b.t.messages.shown.isEmpty());
        QAction* fast = b.w->mnuFastReceive;
        QVERIFY(!fast->isChecked() && fast->isEnabled() && b.w->mnuVerifyAfterProgram->isEnabled());
        fast->trigger();
        b.w->mnuVerifyAfterErase->trigger();
        b.Choose("mnuTMS370CX56A");
        b.Answer("fast.bin");
        b.w->Command1->click();
        QVERIFY(b.t.clock.NowMs() < 1000); // 512 bytes at line speed, not 38 s
        frmMain again(b.t.services, {});   // the choice is kept for the next run
        QVERIFY(again.mnuFastReceive->isChecked() && again.mnuVerifyAfterErase->isChecked() &&
                !again.mnuVerifyAfterProgram->isChecked());
        for (QAction* item : {b.w->mnuMemory, b.w->mnuAbout}) { // they hide the main window
            b.w->show();
            item->trigger();
            QVERIFY(b.w->isHidden());
        }
        for (QAction* item : {b.w->mnuSerialNumbers, b.w->mnuJournal}) {
            QTimer::singleShot(0, [] {
                QWidget* dialog = QApplication::activeModalWidget();
                QVERIFY(dialog);
                dialog->close();
            });
            item->trigger();
        }
        WriteFile(Module1::WorkImagePath(), "an edit"); // closed: nothing said, nothing left
        QVERIFY(b.w->close() && b.ends.isEmpty() && !QFile::exists(Module1::WorkImagePath()));
        QCOMPARE(b.calls, QStringList({"showMemory", "showAbout"}) + Ended);
    }

    // Each error of the port: the program's words, the system's, what became of file and chip.
    void portErrorsFreeThePortMenu() {
        const std::tuple<bool AdapterFaults::*, QString, int> opening[] = {
            {&AdapterFaults::dsrLow, CheckPort, Critical},
            {&AdapterFaults::portMissing, "Error Comm: Port Number Invalid", Critical},
            {&AdapterFaults::portBusy, "This Port already open by another process, use other port",
             Exclamation}};
        for (const auto& [fault, message, style] : opening) {
            Bench b;
            b.model.Faults().*fault = true;
            b.w->SelectPort(3);
            QVERIFY(b.t.messages.shown.size() == 1 && b.t.messages.shown[0].style == style);
            const QStringList lines = b.Box().split('\n'); // the last names the port
            QVERIFY2(lines.size() == 2 && lines[0] == message &&
                         lines[1].contains(message == CheckPort ? "Comm3 is " : "simulated port"),
                     qPrintable(b.Box()));
            QVERIFY(b.PortItems(true, false) && b.w->mnuDevice->menuAction()->isEnabled());
            QVERIFY(b.w->PortNumber() == 3 && !b.port.PortOpen());
        }
        const std::tuple<int, QString, QString, int> raised[] = {
            {8002, "", "Error Comm: Port Number Invalid\nPermission denied", Critical},
            {8019, "more", "Device Busy\nPermission denied\nmore", Exclamation},
            {8022, "", "", 0},
            {8022, "more", "more", Exclamation},
            {platform::ErrorNumber::SerialSystemError, "", "Permission denied", Exclamation}};
        for (const auto& [number, extra, shown, style] : raised) {
            Bench b;
            b.w->SerialErrors(platform::RuntimeError(number, "Permission denied"), extra);
            QCOMPARE(b.t.messages.shown.size(), shown.isEmpty() ? 0 : 1);
            QVERIFY(shown.isEmpty() || (b.Box() == shown && b.t.messages.shown[0].style == style));
            QVERIFY(b.PortItems(true, false));
        }
    }

    // The ports as they come and go; what each item opens is chosen among them or typed.
    void assignPorts() {
        struct Present : platform::PortEnumeration {
            QList<platform::SystemPort> ports{{"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI-if00",
                                               "FT232R USB UART", "FTDI", "A502", 0x0403, 0x6001}};
            QList<platform::SystemPort> Ports() const override { return ports; }
        } present;
        Bench b;
        b.t.services.ports = &present;
        qputenv("VIDAVEV_COMM8", "sim\x1b[2J");
        emit b.w->mnuPort_Number->aboutToShow(); // shown escaped, as the settings' are
        QVERIFY2(b.w->mnuComm[7]->toolTip().startsWith("sim\\x1b[2J"),
                 qPrintable(b.w->mnuComm[7]->toolTip()));
        AssignPortsDialog dialog(b.t.settings, present);
        QComboBox* comm4 = dialog.cboComm[3];
        QStringList offered;
        for (int i = 0; i < comm4->count(); ++i) {
            offered << comm4->itemText(i);
        }
        QCOMPARE(offered, (QStringList{"/dev/serial/by-id/usb-FTDI-if00", "usb:A502", "sim"}));
        QVERIFY(!dialog.cboComm[7]->isEnabled()); // set for this run by the environment
        comm4->setEditText("usb:A502");
        auto* now = dialog.findChild<QLabel*>("lblNow4");
        QVERIFY2(now->text().contains("serial A502"), qPrintable(now->text()));
        present.ports.clear(); // unplugged while the dialog is open
        dialog.RefreshPorts();
        QCOMPARE(comm4->currentText(), QStringLiteral("usb:A502")); // what was typed stays
        QVERIFY2(now->text().contains("not present"), qPrintable(now->text()));
        dialog.accept();
        qunsetenv("VIDAVEV_COMM8");
        QCOMPARE(b.t.settings.GetSetting("Ports", "Comm4"), QStringLiteral("usb:A502"));
        QVERIFY(b.t.settings.GetSetting("Ports", "Comm8").isEmpty());
        emit b.w->mnuPort_Number->aboutToShow();
        QVERIFY2(b.w->mnuComm[3]->toolTip().startsWith("usb:A502 \u2014 no USB serial adapter"),
                 qPrintable(b.w->mnuComm[3]->toolTip()));
    }

    void endingsBecomeTheWindowsMessages_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(Endings)); ++i) {
            QTest::newRow(Endings[i].name) << i;
        }
    }
    void endingsBecomeTheWindowsMessages() {
        QFETCH(int, index);
        const Ending& c = Endings[index];
        WriteFile(Module1::WorkImagePath(), "an edit in progress");
        Bench b;
        b.model.SetEeprom(Pattern(512, 1));
        if (*c.item) {
            b.Choose(c.item);
        }
        const QString file = QLatin1String(c.file);
        const QString path = b.Path(file == "fifo" ? "f.bin" : file);
        if (file == "old" || file == "fw.bin") {
            WriteFile(path, QByteArray(1000, 'z'));
            QVERIFY(::chmod(QFile::encodeName(path).constData(), file == "old" ? 0600 : 0444) == 0);
        } else if (file == "fifo") {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        } else if (!c.content.isNull()) {
            WriteFile(path, c.content);
        }
        if (!file.isEmpty() && file != "cancel") {
            b.t.dialogs.answers << path;
        }
        b.t.messages.answers = c.answers;
        b.model.Faults().silent = c.fault == Silent;
        b.model.Faults().stopAfter = c.fault == Stop40 ? 40 : -1;
        b.model.Faults().mismatchAt = c.fault == Mismatch ? 255 : -1;
        b.model.Faults().wornAt = c.fault == Worn ? 0x25 : -1;
        b.model.Faults().stuckAt = c.fault == Stuck ? 0x110 : -1;
        b.model.Faults().msPerByte = c.fault == ReadFails ? 150 : 0; // the block still coming
        b.failing.failOnRead = c.fault == ReadFails ? b.failing.reads + 10 : -1;
        b.failing.errorNumber = c.fault == ReadFails ? 8020 : c.fault == Error5 ? 5 : 8019;
        b.failing.failOnWrite = c.fault == WriteFails ? b.failing.writes + 40
                                : c.fault == Error5   ? b.failing.writes + 2
                                                      : -1;
        b.failing.vanished = c.fault == Vanished;
        if (c.fault == Worn || c.fault == ReadBack || c.fault == ShutInReadBack) {
            b.w->mnuVerifyAfterProgram->trigger();
        } else if (c.fault == Blank || c.fault == Stuck) {
            b.w->mnuVerifyAfterErase->trigger();
        } else if (c.fault == Outside) {
            QCOMPARE(NumberChips(b, "1EFEh", 2), QString()); // in a 512-byte part's EEPROM
        } else if (c.fault == Unreachable) {
            b.t.settings.SaveSetting("Production", "Journal", b.Path("no/such/folder/j.db"));
        }
        QStringList caution, seen; // the Working window's caution and progress at each try
        const auto tryToStop = [&] {
            Form3* working = b.w->WorkingWindow();
            QVERIFY(working && working->isVisible() && !b.w->isVisible());
            // What it shows, as a screen reader reads it too.
            QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(working->progressBar);
            QCOMPARE(bar->text(QAccessible::Description), working->lblProgress->text());
            seen << QStringLiteral("%1 (%2 of %3)")
                        .arg(working->lblProgress->text())
                        .arg(bar->valueInterface()->currentValue().toInt())
                        .arg(working->progressBar->maximum());
            caution << working->lblCaution->text();
            if (c.fault >= Shut) {
                b.w->close();
            } else if (c.fault == Escape) {
                QTest::keyClick(working, Qt::Key_Escape);
            } else if (c.fault == Closed) {
                QVERIFY(!working->close()); // the operation removes it
            } else {                        // what is clicked or chosen meanwhile is ignored
                b.w->Command2->click();
                b.w->Command5->click();
                b.Choose("mnuTMS370CX56A");
                b.w->SelectPort(5);
                working->cmdCancel->click();
                QVERIFY(!working->cmdCancel->isEnabled()); // one press is enough
            }
            caution << working->lblCaution->text();
        };
        // READ at 5 s; PROGRAM in its data phase, settling, and read back (11.7 s of settling
        // after 0.6 s of data).
        const double now = b.t.clock.NowMs();
        if (c.fault >= Cancelled) {
            b.t.clock.Schedule(c.fault == ShutInReadBack ? 14000
                               : c.button == 1           ? 5000
                               : c.fault == Shut         ? now + 60 + 512 + 3000
                                                         : now + 60 + 200,
                               tryToStop);
        }
        if (c.button == 2 && (c.fault == Escape || c.fault == Closed)) {
            b.t.clock.Schedule(now + 60 + 512 + 3000, tryToStop);
        }
        b.t.messages.shown.clear();
        bool hidden = false, overWorking = false; // a box over the Working window, its Cancel live
        b.t.clock.Schedule(5, [&] { hidden = hidden || !b.w->isVisible(); });
        b.t.messages.onShow = [&](const auto&) { overWorking |= b.w->WorkingWindow() != nullptr; };
        if (c.button == 6) {
            b.w->mnuVerifyAgainstFile->trigger();
        } else {
            b.Button(c.button)->click();
        }

        const QString prompt = QString(c.prompt).replace("%P", path);
        QCOMPARE(b.t.messages.shown.size(), prompt.isEmpty() ? 0 : 1);
        if (prompt.endsWith(QChar(0x2026))) {
            QVERIFY2(b.Box().startsWith(prompt.chopped(1)) &&
                         (file.isEmpty() || b.Box().contains(QFileInfo(path).fileName())),
                     qPrintable(b.Box()));
        } else if (!prompt.isEmpty()) {
            QCOMPARE(b.Box(), prompt);
            QCOMPARE(b.t.messages.shown[0].style, c.style);
        }
        // A compare with a file or with what PROGRAM sent: the Working window goes first.
        QVERIFY(!overWorking || (c.button != 6 && c.fault != Worn && c.fault != Stuck));
        const bool ended = c.fault >= Shut && c.answers != QList<int>{No};
        QVERIFY(!b.w->WorkingWindow() && !b.port.PortOpen() && !b.w->OperationRunning());
        QVERIFY(b.w->isVisible() != ended && (file != "cancel" || !hidden));
        QCOMPARE(b.calls, ended ? Ended : QStringList());
        QCOMPARE(b.ends, c.said ? QStringList{c.said} : QStringList());
        QCOMPARE(QFile::exists(Module1::WorkImagePath()), !ended);
        if (ended && c.button == 1) { // at once, leaving nothing behind
            QVERIFY(b.t.clock.NowMs() < 5200);
            QCOMPARE(QDir(b.files.path()).entryList(QDir::Files), QStringList{file});
        } else if (c.fault == Shut && !ended) { // the chip settles; the program goes on
            QVERIFY(b.t.clock.NowMs() > 12000);
        }
        QVERIFY2(!c.wire || b.Sent() == c.wire, b.Sent().constData());
        QVERIFY(c.programmed.isNull() || b.model.LastProgrammed() == c.programmed);
        QVERIFY2(!c.result || b.w->lblResult->text().contains(c.result),
                 qPrintable(b.w->lblResult->text()));
        // No is the default answer; S-records at the EEPROM's addresses, the header naming the
        // device.
        QVERIFY(!(file == "old" || file == "fw.bin") || !c.answers.isEmpty() ||
                ReadFile(path) == QByteArray(1000, 'z'));
        QVERIFY(!file.endsWith(".s19") ||
                ReadFile(path) == Encoded(Chip, core::ImageFormat::SRecord));
        QCOMPARE(b.PortItems(true, false), c.freed);
        QVERIFY(!*c.item || (b.w->IsDeviceSelected() && b.w->mnuDevice->menuAction()->isEnabled()));
        const bool stopped = c.fault == Cancelled || c.fault == Escape || c.fault == Closed;
        if (stopped && c.button == 2) { // nothing stops the writing of the chip
            QCOMPARE(caution, QStringList({Form3::Caution, Form3::CannotStop, Form3::CannotStop,
                                           Form3::CannotStop}));
            QCOMPARE(seen, QStringList({"Programming 0 of 256 bytes \u2014 13 s left (0 of 256)",
                                        "Programming: waiting for the chip to store the data "
                                        "\u2014 9 s left (2700 of 11700)"}));
        } else if (stopped) { // at once, and the next READ works
            QCOMPARE(seen, QStringList({"Reading 63 of 256 bytes \u2014 15 s left (63 of 256)"}));
            QVERIFY(b.t.clock.NowMs() < 5200);
            b.t.dialogs.answers << path;
            b.w->Command1->click(); // the same chip, unerased, on the same port
            QCOMPARE(ReadFile(path), b.model.Block('y'));
            QVERIFY(b.t.dialogs.opens.isEmpty() && b.w->mnuComm[1]->isChecked());
            const QStringList history = b.w->lblResult->toolTip().split('\n'); // newest first
            QVERIFY(history.size() == 2 && history[1].startsWith("READ cancelled"));
        }
        if (c.freed) { // the advice can be followed: another port
            b.failing.vanished = false;
            b.w->mnuComm[2]->trigger();
            QVERIFY(b.w->mnuComm[2]->isChecked() && !b.w->mnuComm[2]->isEnabled());
        }
    }

    // ---- Production ▸ Serial Numbers... and Journal... ----

    // The dialog refuses what cannot be kept. Two chips, the second spoiled: the window shows
    // each result large (what becomes of the numbers is the production run's test), the journal
    // shows and exports every operation.
    void serialNumbersForEachChip() {
        const std::tuple<QString, int, QString, QString, QString> refused[] = {
            {"1FFC", 4, "", "j.db", "'1FFC' is no address"},
            {"1FFFh", 1, "256", "j.db", "256 does not fit 1 bytes as be (at most 255)"},
            {"1FFCh", 4, "12a", "j.db", "not '12a'"},
            {"1FFCh", 4, "1", "", "need a journal"}};
        Bench b;
        for (const auto& [address, bytes, start, journal, why] : refused) {
            const QString said = NumberChips(b, address, bytes, start, journal);
            QVERIFY2(said.contains(why), qPrintable(said));
            QCOMPARE(b.t.settings.GetSetting("Production", "Serial"), QString());
        }
        QCOMPARE(NumberChips(b), QString());
        SerialNumbersDialog again(b.t.settings, b.t.dialogs); // the fields come back as saved
        QVERIFY(again.txtAddress->text() == "1FFCh" && again.txtStart->text() == "1040");
        again.Test();
        QCOMPARE(again.lblStatus->text(), "Journal reached. Series 'default' is new: its first "
                                          "PROGRAM begins it at Start.");
        again.show(); // the journal's field shows its hint whole, its label's key reaches it
        QVERIFY(again.txtJournal->width() > again.txtJournal->fontMetrics().horizontalAdvance(
                                                again.txtJournal->placeholderText()));
        const QList<QLabel*> labels = again.findChildren<QLabel*>();
        QVERIFY(std::any_of(labels.begin(), labels.end(), [&](const QLabel* label) {
            return label->text() == "&Journal:" && label->buddy() == again.txtJournal;
        }));
        b.t.dialogs.answers << b.Path("other.db");
        again.cmdBrowse->click();
        QCOMPARE(again.txtJournal->text(), b.Path("other.db"));

        b.Choose("mnuTMS370CX58A");
        WriteFile(b.Path("p.bin"), Pattern(256));
        b.Answer("p.bin");
        QString line = b.Click(2);
        QVERIFY2(line.startsWith("PROGRAM: serial 1040 verified (00000410h at 1FFCh), p.bin into "
                                 "TMS370C758A, CRC-32 "),
                 qPrintable(line));
        QVERIFY(b.t.messages.shown.isEmpty() && b.w->lblChipResult->isVisible());
        QCOMPARE(b.w->lblChipResult->text(), "PASS serial 1040");

        b.model.Faults().spoiledPrograms = {2};
        bool overWorking = false;
        b.t.messages.onShow = [&](const auto&) { overWorking |= b.w->WorkingWindow() != nullptr; };
        b.Answer("p.bin");
        line = b.Click(2);
        QVERIFY2(line.contains("; serial 1041 given back"), qPrintable(line));
        QCOMPARE(b.w->lblChipResult->text(), "FAIL \u2014 serial 1041 given back");
        QVERIFY(!overWorking && !b.t.messages.shown.isEmpty());
        b.Answer("r.bin");
        b.w->Command1->click(); // READ: a chip without a number
        QVERIFY(!b.w->lblChipResult->isVisible());
        b.w->Command1->click(); // READ, cancelled at its file dialog: a row all the same
        QVERIFY(b.w->isVisible() && !b.w->WorkingWindow() && !b.w->OperationRunning());

        // An existing series' numbers come from the journal as the dialog opens.
        b.t.settings.SaveSetting("Production", "SerialStart", "");
        SerialNumbersDialog shown(b.t.settings, b.t.dialogs);
        QCOMPARE(
            QStringList({shown.txtStart->text(), shown.txtStep->text(), shown.txtLast->text()}),
            QStringList({"1040", "1", ""}));
        QVERIFY(shown.lblStatus->text().startsWith("Journal reached. Series 'default': next 1041"));

        JournalView view(b.t.settings, b.t.dialogs);
        QCOMPARE(view.tblJournal->rowCount(), 4);
        const auto row = [&](int row, QList<int> columns) {
            QStringList cells;
            for (int column : columns) {
                cells << view.tblJournal->item(row, column)->text();
            }
            return cells;
        };
        // Newest first: port, operation, image, serial, result, CRC-32.
        QCOMPARE(row(0, {4, 5, 8, 9}), QStringList({"READ", "", "cancelled", ""}));
        QCOMPARE(row(1, {4, 5, 8}), QStringList({"READ", b.Path("r.bin"), "ok"}));
        QCOMPARE(row(2, {2, 4, 7}), QStringList({"Comm2", "PROGRAM", "1041"}));
        view.cboResult->setCurrentText("mismatch");
        QVERIFY(view.tblJournal->rowCount() == 1 && row(0, {7}) == QStringList{"1041"});
        view.cboResult->setCurrentIndex(0);
        view.cboSeries->setCurrentText("default");
        QCOMPARE(view.tblJournal->rowCount(), 2);
        QCOMPARE(view.lblStatus->text(), "2 of 4 rows");
        b.t.dialogs.answers << b.Path("journal.csv");
        view.Export();
        const QList<QByteArray> csv = ReadFile(b.Path("journal.csv")).split('\n');
        QCOMPARE(csv.size(), 4); // the header, two rows, the last line's end
        QVERIFY(csv[1].contains(",default,1041,mismatch,"));
    }

    // ---- About ----

    // Each opening starts from the prompt; an item shows its text; OK, the close box, Esc and
    // Enter (the focus on the list or on OK) all close the window, which then deletes itself.
    void aboutBox() {
        const int keys[] = {0,
                            -1,
                            Qt::Key_Escape,
                            Qt::Key_Enter,
                            Qt::Key_Return,
                            Qt::Key_Escape,
                            Qt::Key_Enter,
                            Qt::Key_Return};             // each key on OK and on the list
        for (int i = 0; i < int(std::size(keys)); ++i) { // 0: the OK button, -1: the close box
            int closed = 0;
            QPointer<frmAbout> about = new frmAbout("TMS370", "features", [&] { ++closed; });
            about->show();
            QCOMPARE(about->lblInfo->text(), "Please, select information item above!!!");
            const QRect item = about->lstMain->visualItemRect(about->lstMain->item(2));
            QTest::mouseClick(about->lstMain->viewport(), Qt::LeftButton, {}, item.center());
            QCOMPARE(about->lblInfo->text(), "features");
            about->lstMain_ItemClick(4); // the last item
            const QString last = about->lblInfo->text();
            QVERIFY(last != "features" && !last.isEmpty());
            about->lstMain_ItemClick(5); // no such items: the text stays
            about->lstMain_ItemClick(0);
            QCOMPARE(about->lblInfo->text(), last);
            about->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(about));
            QWidget* focus = i % 2 ? static_cast<QWidget*>(about->lstMain) : about->cmdOK;
            focus->setFocus();
            if (keys[i] == 0) {
                QTest::mouseClick(about->cmdOK, Qt::LeftButton);
            } else if (keys[i] < 0) {
                about->close();
            } else {
                QTest::keyClick(focus, Qt::Key(keys[i]));
            }
            QVERIFY2(closed == 1 && !about->isVisible(), qPrintable(QString::number(i)));
            QTRY_VERIFY(about.isNull());
        }
    }

    // A recipe in force chooses its port and device; PROGRAM programs its image, the chip's
    // kept bytes laid in, without a file dialog, then leaves a chip that matches alone; the
    // status bar, the journal and the settings name it, and it is in force at the next start.
    void recipeInForce() {
        Bench b(false);
        WriteFile(b.Path("fw.bin"), QByteArray(512, 0x5A));
        WriteFile(b.Path("line.ini"),
                  "[recipe]\nport = Comm2\ndevice = TMS370CX56A\nimage = fw.bin\n"
                  "keep = 1E10h:4\nskip-same = true\njournal = j.db\n");
        b.model.SetEeprom(Pattern(512, 3));
        b.Answer("line.ini");
        b.Choose("mnuOpenRecipe");
        QVERIFY(b.w->lblRecipe->isVisible() && b.w->lblRecipe->text() == "Recipe: line.ini");
        QCOMPARE(b.w->PortNumber(), 2);
        b.Click(2);
        QCOMPARE(b.model.Block('x'),
                 QByteArray(512, 0x5A).replace(0x10, 4, Pattern(512, 3).mid(0x10, 4)));
        QString line = b.Click(2);
        QVERIFY2(line.startsWith("PROGRAM: same: TMS370C756A already holds fw.bin; nothing was "
                                 "written"),
                 qPrintable(line));
        QString why;
        const auto rows = core::Journal::Open(b.Path("j.db"), &why)->Rows({}, {}, &why);
        QVERIFY(rows && rows->size() == 2 && rows->last().result == "same" &&
                rows->last().recipe == "line.ini" && rows->first().patches.startsWith("kept 4"));

        WriteFile(b.Path("net.ini"), "[recipe]\nport = net:bench:4001\n");
        b.Answer("net.ini");
        b.Choose("mnuOpenRecipe"); // refused: the one in force stays
        QVERIFY2(b.Box().contains("the window opens Comm1 to Comm8, not net:bench:4001"),
                 qPrintable(b.Box()));
        QCOMPARE(b.w->lblRecipe->text(), "Recipe: line.ini");
        QCOMPARE(b.t.settings.GetSetting("Production", "Recipe"), b.Path("line.ini"));
        b.w.reset();
        frmMain next(b.t.services, {});
        QCOMPARE(next.lblRecipe->text(), "Recipe: line.ini");
        next.mnuCloseRecipe->trigger();
        QVERIFY(!next.lblRecipe->isVisibleTo(&next) && !next.mnuCloseRecipe->isEnabled());
        QCOMPARE(b.t.settings.GetSetting("Production", "Recipe"), QString());
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"

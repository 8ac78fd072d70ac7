#include "OperationBench.h"
#include "common/Module1.h"
#include "core/DeviceCatalogue.h"
#include "core/PortDevices.h"
#include "platform/MessageBoxes.h"
#include "platform/RuntimeError.h"
#include "programmer/AssignPortsDialog.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QtTest>
#include <sys/stat.h>

using namespace platform::MsgStyle;

namespace {

const QString CheckPort =
    QStringLiteral("Error Comm: Check Port Number/Cable/Turn ON Power Supply");
const QString PartlyWritten =
    QStringLiteral("The chip may be partly written: erase it and program it again.");

// One way an operation can end, and what the window tells the user of it.
struct Case {
    const char* name;
    const char* item; // the device chosen
    char button;      // 1 READ .. 5 BULK ERASE
    // "" none; "new", "old" (1000 bytes there), "fw.bin" (the same, read-only), "image"
    // (256 bytes), "fifo"
    const char* file;
    void (*setUp)(OperationBench&);
    QString prompt; // the message, or its start when it ends in "…"
    int style;
};

void Healthy(OperationBench&) {}

const Case Cases[] = {
    {"read, silent adapter", "mnuTMS370CX58A", 1, "old",
     [](OperationBench& b) { b.model.Faults().silent = true; },
     CheckPort + "\nold was kept as it was.", Critical},
    {"read, short into a new file", "mnuTMS370CX58A", 1, "new",
     [](OperationBench& b) { b.model.Faults().stopAfter = 40; },
     "Only 40 of 256 bytes were received from the adapter. The file …", Exclamation},
    {"read, short over a file", "mnuTMS370CX58A", 1, "old",
     [](OperationBench& b) { b.model.Faults().stopAfter = 40; },
     "Only 40 of 256 bytes were received from the adapter. Replace …",
     Exclamation | YesNo | DefaultButton2},
    {"read, port fails", "mnuTMS370CX58A", 1, "old",
     [](OperationBench& b) {
         b.failing.failOnRead = 10;
         b.failing.errorNumber = 8020;
         b.model.Faults().msPerByte = 150; // the block still coming
     },
     "Error reading comm port\nread failed\nold was kept as it was.", Exclamation},
    {"read, read-only file", "mnuTMS370CX58A", 1, "fw.bin", Healthy,
     "fw.bin is read-only. Replace it anyway?", Question | YesNo | DefaultButton2},
    {"read, folder missing", "mnuTMS370CX58A", 1, "no/such/folder.bin", Healthy,
     "Could not write the image file …", Exclamation},
    {"program, FIFO chosen", "mnuTMS370CX58A", 2, "fifo", Healthy,
     "Could not read the image file …", Exclamation},
    {"program, port fails in the data", "mnuTMS370CX58A", 2, "image",
     [](OperationBench& b) { b.failing.failOnWrite = b.failing.writes + 40; },
     "Device Busy\nwrite failed\n" + PartlyWritten, Exclamation},
    {"program, size warning", "mnuTMS370CX56A", 2, "image", Healthy,
     "Warning: uploading buffer size <> 512 bytes!\nf.bin is 256 bytes; the TMS370C756A block is "
     "512 bytes. The rest is filled with FFh.",
     Exclamation | OKCancel},
    {"verify, match", "mnuTMS370CX42A", 3, "", Healthy, "Verify OK", Information},
    {"verify, mismatch", "mnuTMS370CX42A", 3, "",
     [](OperationBench& b) { b.model.Faults().mismatchAt = 255; }, "Verify ERROR", Exclamation},
    {"verify, stops after 40", "mnuTMS370CX42A", 3, "",
     [](OperationBench& b) { b.model.Faults().stopAfter = 40; },
     "Verify incomplete: only 40 of 256 answers were received from the adapter. Check the "
     "adapter and its power supply, then verify again.",
     Exclamation},
    {"verify, error 5", "mnuTMS370CX42A", 3, "",
     [](OperationBench& b) {
         b.failing.failOnWrite = b.failing.writes + 2;
         b.failing.errorNumber = 5;
     },
     "ERROR. RESTART PROGRAM", Critical},
    {"verify after program, worn cell", "mnuTMS370CX58A", 2, "image",
     [](OperationBench& b) {
         b.w->mnuVerifyAfterProgram->trigger();
         b.model.Faults().wornAt = 0x25;
     },
     "Verify ERROR at 1F25h: wrote 06h, read 00h (1 byte differs).", Exclamation},
};

} // namespace

// The main window: its menus and ports, and how each operation ends in it.
class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void startsWithNothingChosen() {
        TestServices t;
        frmMain w(t.services, {});
        QCOMPARE(QStringList({w.windowTitle(), w.Label1->text()}),
                 QStringList(2, Module1::ProgramTitle));
        QVERIFY(!w.mnuDevice->menuAction()->isEnabled() && !w.IsDeviceSelected());
        QCOMPARE(w.PortNumber(), 0);
        for (int i = 0; i < 8; ++i) {
            QVERIFY(!w.deviceItems[i]->isChecked() && !w.mnuComm[i]->isChecked());
            QVERIFY(w.mnuComm[i]->isEnabled());
        }
        for (QMenu* menu : {w.mnuPort_Number, w.mnuDevice}) { // an access key to each item
            QList<QKeySequence> keys;
            for (QAction* item : menu->actions()) {
                const QKeySequence key = QKeySequence::mnemonic(item->text());
                QVERIFY2(item->isSeparator() || (!key.isEmpty() && !keys.contains(key)),
                         qPrintable(item->text()));
                keys << key;
            }
        }
        // Memory and About hide the main window.
        QStringList shown;
        frmMain::Links links;
        links.showMemory = [&] { shown << "memory"; };
        links.showAbout = [&] { shown << "about"; };
        frmMain other(t.services, links);
        for (QAction* item : {other.mnuMemory, other.mnuAbout}) {
            other.show();
            item->trigger();
            QVERIFY(other.isHidden());
        }
        QCOMPARE(shown, (QStringList{"memory", "about"}));
    }

    void choosingADeviceChecksOnlyItsItem() {
        TestServices t;
        frmMain w(t.services, {});
        for (int index = 0; index < 8; ++index) {
            w.deviceItems[(index + 3) % 8]->trigger(); // the previous check mark has to go
            const core::DeviceRow& row = core::DeviceCatalogue[index];
            w.findChild<QAction*>(QLatin1String(row.item))->trigger();
            for (int i = 0; i < 8; ++i) {
                QCOMPARE(w.deviceItems[i]->isChecked(), i == index);
            }
            QCOMPARE(w.Label1->text(), QLatin1String(row.status));
            QCOMPARE(w.DeviceCode(), QLatin1String(row.code));
            QVERIFY(w.IsDeviceSelected());
        }
    }

    void closingDeletesThePresentWorkingImageAndEnds() {
        QTemporaryDir temp;
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        const QString image = Module1::WorkImagePath();
        QVERIFY(image.startsWith(QDir::toNativeSeparators(temp.path())));
        for (bool present : {true, false}) {
            if (present) {
                WriteFile(image, "edit");
            }
            TestServices t;
            QStringList calls;
            frmMain::Links links;
            links.closeAllFiles = [&] { calls << "closeAllFiles"; };
            links.unloadOthers = [&] { calls << "unloadOthers"; };
            links.endProgram = [&] { calls << "endProgram"; };
            frmMain w(t.services, links);
            w.show();
            QVERIFY(w.close());
            QVERIFY(!QFile::exists(image));
            QCOMPARE(calls, (QStringList{"closeAllFiles", "unloadOthers", "endProgram"}));
            QVERIFY(t.messages.shown.isEmpty());
        }
        qunsetenv("TMPDIR");
    }

    // Comm2 chosen on a powered adapter: the port items are locked, the options free.
    void aPoweredAdapterLocksThePortMenu() {
        OperationBench b;
        for (int i = 0; i < 8; ++i) {
            QVERIFY(!b.w->mnuComm[i]->isEnabled());
            QCOMPARE(b.w->mnuComm[i]->isChecked(), i == 1);
            QVERIFY(
                b.w->mnuComm[i]->toolTip().startsWith(core::PortDeviceName(b.t.settings, i + 1)));
        }
        QVERIFY(b.w->mnuDevice->menuAction()->isEnabled());
        QCOMPARE(b.w->PortNumber(), 2);
        QCOMPARE(b.port.CommPort(), 2);
        QCOMPARE(b.port.Settings(), QStringLiteral("9600,N,8,1"));
        QCOMPARE(b.port.RThreshold(), 1);
        QVERIFY(!b.port.PortOpen() && b.model.WireLog().empty() && b.t.messages.shown.isEmpty());

        QAction* fast = b.w->mnuFastReceive;
        QVERIFY(!fast->isChecked() && fast->isEnabled() && b.w->mnuVerifyAfterProgram->isEnabled());
        fast->trigger();
        QCOMPARE(b.t.settings.GetSetting(QStringLiteral("General"), QStringLiteral("FastReceive")),
                 QStringLiteral("true"));
        b.Choose("mnuTMS370CX56A");
        b.t.dialogs.answers << b.Path("fast.bin");
        const double start = b.t.clock.NowMs();
        b.w->Command1->click();
        QVERIFY(b.t.clock.NowMs() - start < 1000); // 512 bytes at line speed, not 38 s
        QCOMPARE(ReadFile(b.Path("fast.bin")), b.model.Block('x'));
        frmMain again(b.t.services, {}); // the choice is kept for the next run
        QVERIFY(again.mnuFastReceive->isChecked());
        QVERIFY(!again.mnuVerifyAfterProgram->isChecked());
    }

    void portFailuresFreeTheMenu() {
        const std::tuple<bool adaptersim::AdapterFaults::*, QString, int> rows[] = {
            {&adaptersim::AdapterFaults::dsrLow, CheckPort, Critical},
            {&adaptersim::AdapterFaults::portMissing, "Error Comm: Port Number Invalid", Critical},
            {&adaptersim::AdapterFaults::portBusy,
             "This Port already open by another process, use other port", Exclamation}};
        for (const auto& [fault, message, style] : rows) {
            OperationBench b;
            b.model.Faults().*fault = true;
            b.t.messages.shown.clear();
            b.w->SelectPort(3);
            QCOMPARE(b.t.messages.shown.size(), 1);
            // The program's words, then a line that names the port.
            const QStringList lines = b.t.messages.shown[0].prompt.split('\n');
            QCOMPARE(lines.size(), 2);
            QCOMPARE(lines[0], message);
            QVERIFY2(lines[1].contains(message == CheckPort ? "Comm3 is " : "simulated port"),
                     qPrintable(lines[1]));
            QCOMPARE(b.t.messages.shown[0].style, style);
            QVERIFY(b.PortItems(true, false));
            QVERIFY(b.w->mnuDevice->menuAction()->isEnabled());
            QCOMPARE(b.w->PortNumber(), 3);
            QVERIFY(!b.port.PortOpen());
        }
    }

    void serialErrorsSpeakTheProgramsWords() {
        const std::tuple<int, QString, QString, int> rows[] = {
            // "" for no message
            {8002, "", "Error Comm: Port Number Invalid\nPermission denied", Critical},
            {8019, "more", "Device Busy\nPermission denied\nmore", Exclamation},
            {8022, "", "", 0},
            {8022, "more", "more", Exclamation},
            {platform::ErrorNumber::SerialSystemError, "", "Permission denied", Exclamation}};
        for (const auto& [number, extra, shown, style] : rows) {
            OperationBench b;
            b.t.messages.shown.clear();
            b.w->SerialErrors(platform::RuntimeError(number, QStringLiteral("Permission denied")),
                              extra);
            QCOMPARE(b.t.messages.shown.size(), shown.isEmpty() ? 0 : 1);
            if (!shown.isEmpty()) {
                QCOMPARE(b.t.messages.shown[0].prompt, shown);
                QCOMPARE(b.t.messages.shown[0].style, style);
            }
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
        OperationBench b;
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

    void outcomesBecomeTheWindowsMessages_data() {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(Cases)); ++i) {
            QTest::newRow(Cases[i].name) << i;
        }
    }
    void outcomesBecomeTheWindowsMessages() {
        QFETCH(int, index);
        const Case& c = Cases[index];
        OperationBench b;
        b.model.SetEeprom(Pattern(512, 1));
        b.Choose(c.item);
        const QString file = QLatin1String(c.file);
        const QString path = b.Path(file == "fifo" || file == "image" ? "f.bin" : file);
        if (file == "old" || file == "fw.bin") {
            WriteFile(path, QByteArray(1000, 'z'));
            QFile::setPermissions(path, file == "old" ? QFile::ReadOwner | QFile::WriteOwner
                                                      : QFile::ReadOwner | QFile::ReadGroup |
                                                            QFile::ReadOther);
        } else if (file == "image") {
            WriteFile(path, Pattern(256, 3));
        } else if (file == "fifo") {
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        }
        if (!file.isEmpty()) {
            b.t.dialogs.answers << path;
        }
        c.setUp(b);
        b.t.messages.shown.clear();
        b.Button(c.button)->click();

        QCOMPARE(b.t.messages.shown.size(), 1);
        const auto& box = b.t.messages.shown[0];
        if (c.prompt.endsWith(QChar(0x2026))) {
            QVERIFY2(box.prompt.startsWith(c.prompt.chopped(1)), qPrintable(box.prompt));
            QVERIFY2(box.prompt.contains(path), qPrintable(box.prompt));
        } else {
            QCOMPARE(box.prompt, c.prompt);
        }
        QCOMPARE(box.style, c.style);
        QVERIFY(b.Settled());
        if (file == "old" || file == "fw.bin") {
            QCOMPARE(ReadFile(path), QByteArray(1000, 'z')); // No is the default answer
        }
    }

    void cancelledDialogsAbandonTheOperation() {
        for (bool program : {false, true}) {
            OperationBench b;
            b.Choose("mnuTMS370CX42A");
            bool hidden = false;
            b.t.clock.Schedule(5, [&] { hidden = hidden || !b.w->isVisible(); });
            (program ? b.w->Command2 : b.w->Command1)->click();
            QCOMPARE(b.Sent(), program ? QByteArray("ype") : QByteArray("yre"));
            QVERIFY(!hidden && b.Settled() && b.t.messages.shown.isEmpty());
        }
    }

    void guardsStopBeforeTheWire() {
        OperationBench b;
        for (int n = 1; n <= 5; ++n) {
            b.Button(n)->click();
        }
        b.Choose("mnuTMS374C003");
        for (int n = 3; n <= 5; ++n) {
            b.Button(n)->click();
        }
        QCOMPARE(b.t.messages.shown.size(), 8);
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(b.t.messages.shown[i].prompt,
                     i < 5 ? QStringLiteral("Select Device before start operation")
                           : QStringLiteral("Command not support TMS374C003; TMS374C013"));
            QCOMPARE(b.t.messages.shown[i].style, Exclamation);
        }
        QVERIFY(b.Sent().isEmpty());
        QVERIFY(b.t.dialogs.opens.isEmpty() && b.t.dialogs.saves.isEmpty());
    }

    // The Working window, as seen and as a screen reader reads it.
    void workingWindowShowsHowFarItIs() {
        OperationBench b;
        b.Choose("mnuTMS370CX58A");
        b.t.dialogs.answers << b.Path("r.bin");
        QString line, spoken, barSpoken;
        bool cancelShown = false, cautionShown = true;
        int value = 0, maximum = 0, spokenValue = 0;
        const auto look = [&] {
            Form3* seen = b.w->WorkingWindow();
            QVERIFY(seen && seen->isVisible() && !b.w->isVisible());
            line = seen->lblProgress->text();
            value = seen->progressBar->value();
            maximum = seen->progressBar->maximum();
            cancelShown = seen->cmdCancel->isVisibleTo(seen);
            cautionShown = seen->lblCaution->isVisibleTo(seen);
            spoken =
                QAccessible::queryAccessibleInterface(seen->lblProgress)->text(QAccessible::Name);
            QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(seen->progressBar);
            barSpoken = bar->text(QAccessible::Name) + '|' + bar->text(QAccessible::Description);
            spokenValue = bar->valueInterface()->currentValue().toInt();
        };
        // 230 ms to the first step, then a byte per 75 ms: 137 bytes after 10505 ms.
        b.t.clock.Schedule(b.t.clock.NowMs() + 230 + 137 * 75 + 5, look);
        b.w->Command1->click();
        QCOMPARE(value, 137);
        QCOMPARE(maximum, 256);
        QCOMPARE(line, QStringLiteral("Reading 137 of 256 bytes \u2014 9 s left"));
        QVERIFY(cancelShown && !cautionShown);
        QCOMPARE(spoken, line);
        QCOMPARE(barSpoken, "Operation progress|" + line);
        QCOMPARE(spokenValue, 137);

        // Programming: the settle wait, no way out, and a warning not to unplug.
        WriteFile(b.Path("p.bin"), Pattern(256));
        b.t.dialogs.answers << b.Path("p.bin");
        b.t.clock.Schedule(b.t.clock.NowMs() + 60 + 512 + 1000, look);
        b.w->Command2->click();
        QCOMPARE(line, QStringLiteral(
                           "Programming: waiting for the chip to store the data \u2014 11 s left"));
        QCOMPARE(maximum, 11700);
        QVERIFY(!cancelShown && cautionShown);
        QVERIFY(b.Settled());
    }

    void cancelFromTheWorkingWindow() {
        for (const QString how : {"Cancel", "Esc", "close"}) {
            OperationBench b;
            b.Choose("mnuTMS370CX58A");
            const QString path = b.Path("keep.bin");
            WriteFile(path, "old");
            b.t.dialogs.answers << path << path;
            b.t.clock.Schedule(5000, [&] {
                Form3* working = b.w->WorkingWindow();
                QVERIFY(working);
                if (how == "Esc") {
                    QTest::keyClick(working, Qt::Key_Escape);
                } else if (how == "close") {
                    QVERIFY(!working->close()); // the operation removes it
                } else {
                    working->cmdCancel->click();
                    QVERIFY(!working->cmdCancel->isEnabled()); // one press is enough
                }
            });
            b.w->Command1->click();
            QVERIFY2(b.t.clock.NowMs() < 5200, qPrintable(how));
            QCOMPARE(ReadFile(path), QByteArray("old"));
            QVERIFY(b.t.messages.shown.isEmpty() && b.Settled());
            b.w->Command1->click(); // the next READ works
            QCOMPARE(ReadFile(path), b.model.Block('y'));
        }
    }

    // While the chip is written, Esc and the close box stop nothing and say why.
    void workingWindowCannotStopAProgramming() {
        for (bool escape : {true, false}) {
            OperationBench b;
            b.Choose("mnuTMS370CX58A");
            WriteFile(b.Path("p.bin"), Pattern(256, 2));
            b.t.dialogs.answers << b.Path("p.bin");
            QStringList caution; // before and after each try
            const auto tryToStop = [&] {
                Form3* working = b.w->WorkingWindow();
                QVERIFY(working);
                caution << working->lblCaution->text();
                if (escape) {
                    QTest::keyClick(working, Qt::Key_Escape);
                } else {
                    QVERIFY(!working->close());
                }
                caution << working->lblCaution->text();
            };
            b.t.clock.Schedule(b.t.clock.NowMs() + 60 + 200, tryToStop);        // data phase
            b.t.clock.Schedule(b.t.clock.NowMs() + 60 + 512 + 3000, tryToStop); // settle wait
            b.w->Command2->click();
            QCOMPARE(caution, QStringList({Form3::Caution, Form3::CannotStop, Form3::CannotStop,
                                           Form3::CannotStop}));
            QCOMPARE(b.model.Block('y'), Pattern(256, 2)); // the whole block was programmed
            QVERIFY(b.t.messages.shown.isEmpty() && b.Settled());
        }
    }

    void closingDuringProgramAsksFirst() {
        for (bool close : {false, true}) {
            OperationBench b;
            b.Choose("mnuTMS370CX58A");
            WriteFile(b.Path("p.bin"), Pattern(256, 4));
            b.t.dialogs.answers << b.Path("p.bin");
            b.t.messages.answers << (close ? platform::MsgAnswer::Yes : platform::MsgAnswer::No);
            b.t.clock.Schedule(5000, [&] { b.w->close(); });
            b.w->Command2->click();
            QCOMPARE(b.t.messages.shown.size(), 1);
            QCOMPARE(b.t.messages.shown[0].prompt,
                     QStringLiteral("The chip is being programmed. Closing now leaves it partly "
                                    "written. Close anyway?"));
            QCOMPARE(b.t.messages.shown[0].style, Exclamation | YesNo | DefaultButton2);
            QCOMPARE(b.calls, close ? QStringList{"endProgram"} : QStringList{});
            QCOMPARE(b.t.clock.NowMs() > 12000, !close); // a No lets the chip settle
            QVERIFY(!b.port.PortOpen() && !b.w->WorkingWindow());
        }
    }

    void closingTheProgramEndsARead() {
        OperationBench b;
        b.Choose("mnuTMS370CX56A");
        const QString path = b.Path("closing.bin");
        WriteFile(path, "old");
        b.t.dialogs.answers << path;
        b.t.clock.Schedule(5000, [&] { b.w->close(); });
        b.w->Command1->click();
        QCOMPARE(b.calls, QStringList{"endProgram"});
        QVERIFY(!b.port.PortOpen() && !b.w->WorkingWindow() && !b.w->OperationRunning());
        QVERIFY(!b.w->isVisible()); // the main window does not come back
        QCOMPARE(ReadFile(path), QByteArray("old"));
        QVERIFY(b.t.clock.NowMs() < 6000);
    }

    void clicksAndChoicesDuringAnOperationAreIgnored() {
        OperationBench b;
        b.Choose("mnuTMS370CX58A");
        b.t.dialogs.answers << b.Path("a.bin");
        b.t.clock.Schedule(1000, [&] {
            b.w->Command2->click();
            b.w->Command5->click();
            b.Choose("mnuTMS370CX56A");
            b.w->SelectPort(5);
        });
        b.w->Command1->click();
        QCOMPARE(b.Sent(), QByteArray("yrc"));
        QCOMPARE(b.w->DeviceCode(), QStringLiteral("y"));
        QVERIFY(b.w->mnuComm[1]->isChecked());
        QCOMPARE(b.t.dialogs.saves.size() + b.t.dialogs.opens.size(), 1);
        QCOMPARE(ReadFile(b.Path("a.bin")).size(), 256);
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"

#include "OperationBench.h"
#include "core/PortDevices.h"
#include "platform/MessageBoxes.h"
#include "platform/RuntimeError.h"
#include "programmer/AssignPortsDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QtTest>

using namespace platform::MsgStyle;

namespace {

bool AllPortItems(const frmMain& w, bool enabled, bool checked) {
    for (QAction* item : w.mnuComm) {
        if (item->isEnabled() != enabled || item->isChecked() != checked) {
            return false;
        }
    }
    return true;
}

} // namespace

class PortsTest : public QObject {
    Q_OBJECT

private slots:
    void aPoweredAdapterLocksThePortMenu() {
        OperationBench b; // Comm2 chosen
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
        QVERIFY(!b.port.PortOpen());
        QVERIFY(b.model.WireLog().empty());
        QVERIFY(b.t.messages.shown.isEmpty());
    }

    void portFailuresFreeTheMenu_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("style");
        QTest::newRow("DSR low") << 0 << "Error Comm: Check Port Number/Cable/Turn ON Power Supply"
                                 << Critical;
        QTest::newRow("missing") << 1 << "Error Comm: Port Number Invalid" << Critical;
        QTest::newRow("busy") << 2 << "This Port already open by another process, use other port"
                              << Exclamation;
    }
    void portFailuresFreeTheMenu() {
        QFETCH(int, fault);
        QFETCH(QString, message);
        QFETCH(int, style);
        OperationBench b;
        adaptersim::AdapterFaults& faults = b.model.Faults();
        (fault == 0 ? faults.dsrLow : fault == 1 ? faults.portMissing : faults.portBusy) = true;
        b.t.messages.shown.clear();
        b.w->SelectPort(3);
        QCOMPARE(b.t.messages.shown.size(), 1);
        // The program's words, then a line that names the port.
        const QStringList lines = b.t.messages.shown[0].prompt.split('\n');
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], message);
        QVERIFY2(lines[1].contains(fault == 0 ? "Comm3 is " : "simulated port"),
                 qPrintable(lines[1]));
        QCOMPARE(b.t.messages.shown[0].style, style);
        QVERIFY(AllPortItems(*b.w, true, false));
        QVERIFY(b.w->mnuDevice->menuAction()->isEnabled());
        QCOMPARE(b.w->PortNumber(), 3);
        QVERIFY(!b.port.PortOpen());
    }

    void serialErrorsSpeakTheProgramsWords_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("extra");
        QTest::addColumn<QString>("shown"); // "" for no message
        QTest::addColumn<int>("style");
        QTest::newRow("8002") << 8002 << ""
                              << "Error Comm: Port Number Invalid\nPermission denied" << Critical;
        QTest::newRow("8019 with a line") << 8019 << "more"
                                          << "Device Busy\nPermission denied\nmore" << Exclamation;
        QTest::newRow("8022") << 8022 << ""
                              << "" << 0;
        QTest::newRow("8022 with a line") << 8022 << "more"
                                          << "more" << Exclamation;
        QTest::newRow("system") << platform::ErrorNumber::SerialSystemError << ""
                                << "Permission denied" << Exclamation;
    }
    void serialErrorsSpeakTheProgramsWords() {
        QFETCH(int, number);
        QFETCH(QString, extra);
        QFETCH(QString, shown);
        QFETCH(int, style);
        OperationBench b;
        b.t.messages.shown.clear();
        b.w->SerialErrors(platform::RuntimeError(number, QStringLiteral("Permission denied")),
                          extra);
        QCOMPARE(b.t.messages.shown.size(), shown.isEmpty() ? 0 : 1);
        if (!shown.isEmpty()) {
            QCOMPARE(b.t.messages.shown[0].prompt, shown);
            QCOMPARE(b.t.messages.shown[0].style, style);
        }
        QVERIFY(AllPortItems(*b.w, true, false));
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
};

QTEST_MAIN(PortsTest)
#include "tst_ports.moc"

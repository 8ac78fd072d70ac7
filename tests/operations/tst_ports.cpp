#include "OperationBench.h"
#include "core/AdapterLink.h"
#include "core/Pause.h"
#include "core/PortDevices.h"
#include "core/StopRequest.h"
#include "platform/MessageBoxes.h"
#include "platform/RuntimeError.h"

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
        QVERIFY(b.w->mnuComm[1]->isChecked());
        for (int i = 0; i < 8; ++i) {
            QVERIFY(!b.w->mnuComm[i]->isEnabled());
            QCOMPARE(b.w->mnuComm[i]->isChecked(), i == 1);
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

    void portFailuresFreeTheMenu() {
        struct Case {
            const char* name;
            void (*fault)(adaptersim::AdapterFaults&);
            QString message;
            int style;
        };
        const Case cases[] = {
            {"DSR low", [](adaptersim::AdapterFaults& f) { f.dsrLow = true; },
             "Error Comm: Check Port Number/Cable/Turn ON Power Supply", Critical},
            {"missing", [](adaptersim::AdapterFaults& f) { f.portMissing = true; },
             "Error Comm: Port Number Invalid", Critical},
            {"busy", [](adaptersim::AdapterFaults& f) { f.portBusy = true; },
             "This Port already open by another process, use other port", Exclamation},
        };
        for (const Case& c : cases) {
            OperationBench b;
            c.fault(b.model.Faults());
            b.t.messages.shown.clear();
            b.w->SelectPort(3);
            QCOMPARE(b.t.messages.shown.size(), 1);
            QCOMPARE(b.t.messages.shown[0].prompt, c.message);
            QCOMPARE(b.t.messages.shown[0].style, c.style);
            QVERIFY2(AllPortItems(*b.w, true, false), c.name);
            QVERIFY(b.w->mnuDevice->menuAction()->isEnabled());
            QCOMPARE(b.w->PortNumber(), 3);
            QVERIFY(!b.port.PortOpen());
        }
    }

    void serialErrorsSpeakTheProgramsWords() {
        OperationBench b;
        const struct {
            int number;
            const char* text;
            int style;
        } table[] = {
            {8000, "Operation not valid, because port is opened", 48},
            {8001, "Timeout zero value", 48},
            {8002, "Error Comm: Port Number Invalid", 16},
            {8003, "Property available only at runtime", 48},
            {8004, "Property is read only at runtime", 48},
            {8005, "This Port already open by another process, use other port", 48},
            {8006, "The device identifier is invalid", 48},
            {8007, "The device baud rate not supported", 48},
            {8008, "The specified byte size is invalid", 48},
            {8009, "The default parameters are in error", 48},
            {8010, "The hardware locked by another device", 48},
            {8011, "The function cannot allocate the queues", 48},
            {8012, "Port Not Open", 48},
            {8013, "Port Already Open", 48},
            {8014, "Comm notification not enable", 48},
            {8015, "Could not set comm state", 48},
            {8016, "Could not set comm event mask", 48},
            {8018, "Operation valid only when port is  open", 48},
            {8019, "Device Busy", 48},
            {8020, "Error reading comm port", 48},
            {8021, "Internal error comm port control", 16},
        };
        for (const auto& row : table) {
            b.t.messages.shown.clear();
            b.w->SerialErrors(platform::RuntimeError(row.number, QString()));
            QCOMPARE(b.t.messages.shown.size(), 1);
            QCOMPARE(b.t.messages.shown[0].prompt, QLatin1String(row.text));
            QCOMPARE(b.t.messages.shown[0].style, row.style);
            QVERIFY(AllPortItems(*b.w, true, false));
        }
        for (int silent : {8017, 7999, 8022, 5}) {
            b.w->SelectPort(1);
            b.t.messages.shown.clear();
            b.w->SerialErrors(platform::RuntimeError(silent, QString()));
            QVERIFY(b.t.messages.shown.isEmpty());
            QVERIFY(AllPortItems(*b.w, true, false));
        }
        b.t.messages.shown.clear();
        b.w->SerialErrors(platform::RuntimeError(platform::ErrorNumber::SerialSystemError,
                                                 QStringLiteral("Permission denied")));
        QCOMPARE(b.t.messages.shown.size(), 1);
        QCOMPARE(b.t.messages.shown[0].prompt, QStringLiteral("Permission denied"));
    }

    void aPortThatFailsDuringAnOperation() {
        for (bool onRead : {false, true}) {
            OperationBench b(true);
            b.Choose("mnuTMS370CX58A");
            b.t.dialogs.answers << b.Path("x.bin");
            WriteFile(b.Path("x.bin"), "keep");
            b.failing->writes = 0;
            if (onRead) {
                b.failing->failOnRead = 10;
                b.failing->errorNumber = 8020;
            } else {
                b.failing->failOnWrite = 3; // the "c"
            }
            b.t.messages.shown.clear();
            b.w->Command1->click();
            QCOMPARE(b.t.messages.shown.size(), 1);
            QCOMPARE(b.t.messages.shown[0].prompt, onRead
                                                       ? QStringLiteral("Error reading comm port")
                                                       : QStringLiteral("Device Busy"));
            QVERIFY(b.Settled());
            QVERIFY(AllPortItems(*b.w, true, false));
            QCOMPARE(ReadFile(b.Path("x.bin")), QByteArray("keep"));
        }
    }

    void errorFiveAsksForARestart() {
        OperationBench b(true);
        b.Choose("mnuTMS370CX58A");
        b.failing->writes = 0;
        b.failing->failOnWrite = 2;
        b.failing->errorNumber = platform::ErrorNumber::IllegalCall;
        b.t.messages.shown.clear();
        b.w->Command3->click();
        QCOMPARE(b.t.messages.shown.size(), 1);
        QCOMPARE(b.t.messages.shown[0].prompt, QStringLiteral("ERROR. RESTART PROGRAM"));
        QCOMPARE(b.t.messages.shown[0].style, Critical);
        QVERIFY(b.Settled());
    }

    void pauseWaitsOnTheClockAndHandlesEvents() {
        FakeClock clock;
        core::Pause(clock, 0);
        QCOMPARE(clock.ProcessCount(), 0);
        QCOMPARE(clock.NowMs(), 0.0);

        bool ran = false;
        clock.Schedule(4, [&] { ran = true; });
        core::Pause(clock, 900);
        QVERIFY(ran);
        QVERIFY(clock.NowMs() >= 900);

        bool stop = false;
        clock.Schedule(clock.NowMs() + 100, [&] { stop = true; });
        const double start = clock.NowMs();
        core::Pause(clock, 23400, [&] { return stop; });
        QVERIFY(clock.NowMs() - start < 200);
    }

    void receiveBlockTakesOneBytePerStep() {
        FakeClock clock;
        AdapterModel model;
        model.SetEeprom(Pattern(512, 11));
        adaptersim::SimSerialPort port(clock, model);
        core::StopRequest stop;
        core::AdapterLink link(port, clock, stop);
        port.SetInBufferSize(512);
        link.OpenLink('x', 'r');
        link.StartDataPhase(10);
        link.Wait(200);
        QList<double> times;
        QByteArray got;
        const int taken = link.ReceiveBlock(512, [&](int count, unsigned char byte) {
            times << clock.NowMs();
            got.append(static_cast<char>(byte));
            return count < 100; // ends early
        });
        QCOMPARE(taken, 100);
        QCOMPARE(got, model.Block('x').left(100));
        for (int i = 1; i < times.size(); ++i) {
            QVERIFY(times[i] - times[i - 1] >= 75);
        }
        link.CloseLink();

        // Nothing received: every step passes at once.
        model.Faults().silent = true;
        link.OpenLink('x', 'r');
        link.StartDataPhase(10);
        const double start = clock.NowMs();
        QCOMPARE(link.ReceiveBlock(512, [](int, unsigned char) { return true; }), 0);
        QCOMPARE(clock.NowMs(), start);
        link.CloseLink();
    }

    void workingWindowStandsInForTheMainWindow() {
        OperationBench b;
        b.w->ShowWorking();
        QVERIFY(!b.w->isVisible());
        Form3* working = b.w->WorkingWindow();
        QVERIFY(working && working->isVisible());
        QCOMPARE(working->windowTitle(), QStringLiteral("TMS370 EEPROM Programmer"));
        QCOMPARE(working->lblState->text(), QStringLiteral("Working..."));
        QVERIFY(!working->close()); // the user cannot close it
        QVERIFY(working->isVisible());
        b.w->EndWorking();
        QVERIFY(b.w->isVisible());
        QVERIFY(!b.w->WorkingWindow());
    }

    void portItemsShowTheirDevice() {
        OperationBench b;
        for (int n = 1; n <= 8; ++n) {
            QCOMPARE(b.w->mnuComm[n - 1]->toolTip(), core::PortDeviceName(b.t.settings, n));
        }
    }
};

QTEST_MAIN(PortsTest)
#include "tst_ports.moc"

#include "ErrorNumberOf.h"
#include "FakeClock.h"
#include "ImageFiles.h"
#include "adaptersim/AdapterModel.h"
#include "adaptersim/SimSerialPort.h"

#include <QTest>

using adaptersim::AdapterModel;
using adaptersim::Direction;
using adaptersim::SimSerialPort;

// The simulated adapter beyond the operations' tests: exchanges, compares, its port's rules.
class TestAdapterSim : public QObject {
    Q_OBJECT

    FakeClock clock;
    AdapterModel model;
    SimSerialPort port{clock, model};

    // Opens the port and sends the letters; the replies that have come by afterMs.
    QByteArray Exchange(const QByteArray& letters, double afterMs = 1000) {
        port.SetPortOpen(true);
        for (char letter : letters) {
            port.Output(QByteArray(1, letter));
            clock.Advance(10);
        }
        clock.Advance(afterMs);
        port.SetInputLen(0);
        const QByteArray replies = port.Input();
        port.SetPortOpen(false);
        return replies;
    }

private slots:
    void init() {
        model = AdapterModel();
        port.SetInBufferSize(512);
        port.SetRThreshold(1);
    }

    void exchangesAreFoundInWhatIsSent() {
        model.SetEeprom(Pattern(512, 4));
        // Noise before a family letter; a letter waiting for "c" restarts; 256 bytes: upper half.
        QCOMPARE(Exchange("zzxvyrc"), Pattern(512, 4).mid(256));
        // "e" abandons: the "c" after it starts nothing, the data after it is not stored.
        QCOMPARE(Exchange("xrec"), QByteArray());
        Exchange("xpec\x11\x11");
        QCOMPARE(model.Eeprom(), Pattern(512, 4));

        // A PROGRAM block given up: after a long gap the next session's letters are not data.
        AdapterModel bare;
        for (char byte : QByteArray("xpc")) {
            bare.Receive(std::uint8_t(byte), 0);
        }
        for (int i = 0; i < 10; ++i) {
            bare.Receive(0x00, 2.0 * i);
        }
        for (char byte : QByteArray("xrc")) {
            bare.Receive(std::uint8_t(byte), 5000);
        }
        QVERIFY(bare.NextReplyMs().has_value());
        QCOMPARE(bare.Eeprom().mid(10), QByteArray(502, char(0xff)));
    }

    void verifyComparesWithWhatWasProgrammed() {
        model.Faults().stopAfter = 200; // the block ends early, both ways
        Exchange("ypc" + Pattern(256, 77));
        QCOMPARE(model.LastProgrammed(), Pattern(200, 77));
        model.Faults().stopAfter = -1;
        QCOMPARE(Exchange("yvc"), QByteArray(256, char(AdapterModel::MatchMark)));
        // After a bulk erase the chip differs wherever the programmed byte was not FFh.
        Exchange("yb");
        const QByteArray marks = Exchange("yvc");
        QCOMPARE(marks.size(), 256);
        for (int i = 0; i < 200; ++i) {
            QCOMPARE(marks[i] == char(AdapterModel::MismatchMark), Pattern(256, 77)[i] != '\xff');
        }
    }

    void repliesOfAClosedSessionAreDropped() {
        Exchange("xrc", 50);
        const int crossed = int(model.WireLog(Direction::FromAdapter).size());
        QCOMPARE(crossed, int(60 / AdapterModel::LineMsPerByte)); // 10 ms after "c", then 50
        clock.Advance(1000);
        port.SetPortOpen(true);
        QCOMPARE(port.InBufferCount(), 0);
        QCOMPARE(port.CommEvent(), 0);
        QCOMPARE(int(model.WireLog(Direction::FromAdapter).size()), crossed);
        port.SetPortOpen(false);
    }

    void portRules() {
        port.SetPortOpen(true);
        QCOMPARE(ErrorNumberOf([&] { port.SetSettings(QStringLiteral("9600,N,8")); }), 8009);
        QVERIFY(port.DSRHolding());
        model.Faults().dsrLow = true;
        QVERIFY(!port.DSRHolding());
        // A new port number waits for the next open.
        port.SetCommPort(9);
        port.SetPortOpen(false);
        QCOMPARE(ErrorNumberOf([&] { port.SetPortOpen(true); }), 8002);
        port.SetCommPort(8);
        model.Faults().portBusy = true;
        QCOMPARE(ErrorNumberOf([&] { port.SetPortOpen(true); }), 8005);
        model.Faults().portMissing = true;
        QCOMPARE(ErrorNumberOf([&] { port.SetPortOpen(true); }), 8002);
    }
};

QTEST_GUILESS_MAIN(TestAdapterSim)
#include "tst_adaptersim.moc"

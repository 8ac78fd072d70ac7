#include "ErrorNumberOf.h"
#include "FakeClock.h"
#include "adaptersim/AdapterModel.h"
#include "adaptersim/SimSerialPort.h"
#include "platform/RuntimeError.h"

#include <QTest>
#include <functional>

using adaptersim::AdapterModel;
using adaptersim::Direction;
using adaptersim::SimSerialPort;
using adaptersim::WireByte;

namespace {

QByteArray Pattern(int size, int seed) {
    QByteArray bytes(size, 0);
    for (int i = 0; i < size; ++i) {
        bytes[i] = char((i * 7 + seed) & 0xff);
    }
    return bytes;
}

} // namespace

// The adapter on an in-process port, driven on the virtual clock the programmer tests use.
class TestAdapterSim : public QObject {
    Q_OBJECT

    FakeClock* clock = nullptr;
    AdapterModel* model = nullptr;
    SimSerialPort* port = nullptr;

    // Opens the port and sends the family letter and command letter 10 ms apart.
    void Announce(char family, char command) {
        port->SetPortOpen(true);
        port->Output(QByteArray(1, family));
        clock->Advance(10);
        port->Output(QByteArray(1, command));
        clock->Advance(10);
    }

private slots:
    void init() {
        clock = new FakeClock;
        model = new AdapterModel;
        port = new SimSerialPort(*clock, *model);
        port->SetInBufferSize(512);
        port->SetRThreshold(1);
    }
    void cleanup() {
        delete port;
        delete model;
        delete clock;
    }

    void readSendsTheBlockAtLineSpeed() {
        model->SetEeprom(Pattern(512, 3));
        Announce('x', 'r');
        const double cAt = clock->NowMs();
        port->Output("c");

        clock->Advance(100);
        QCOMPARE(port->InBufferCount(), int(100 / AdapterModel::LineMsPerByte));
        clock->Advance(600);
        QCOMPARE(port->InBufferCount(), 512);
        port->SetInputLen(0);
        QCOMPARE(port->Input(), Pattern(512, 3));

        const auto replies = model->WireLog(Direction::FromAdapter);
        QCOMPARE(int(replies.size()), 512);
        QCOMPARE(replies.front().timeMs, cAt + AdapterModel::LineMsPerByte);
        QCOMPARE(replies.back().timeMs, cAt + 512 * AdapterModel::LineMsPerByte);
        QCOMPARE(model->WireBytes(Direction::ToAdapter), QByteArray("xrc"));
        const auto sent = model->WireLog(Direction::ToAdapter);
        QCOMPARE(sent[1].timeMs - sent[0].timeMs, 10.0);
    }

    void smallFamiliesUseTheUpperHalf() {
        const QByteArray image = Pattern(512, 9);
        model->SetEeprom(image);
        for (char family : {'y', 't'}) {
            Announce(family, 'r');
            port->Output("c");
            clock->Advance(1000);
            port->SetInputLen(0);
            QCOMPARE(port->Input(), image.mid(256));
            port->SetPortOpen(false);
        }
    }

    void programStoresAndVerifyComparesWithIt() {
        model->SetEeprom(Pattern(512, 1));
        const QByteArray data = Pattern(256, 77);
        Announce('y', 'p');
        port->Output("c");
        clock->Advance(40);
        for (char byte : data) {
            port->Output(QByteArray(1, byte));
            clock->Advance(2);
        }
        port->SetPortOpen(false);
        QCOMPARE(model->LastProgrammed(), data);
        QCOMPARE(model->Eeprom().mid(256), data);
        QCOMPARE(model->Eeprom().left(256), Pattern(512, 1).left(256));
        QCOMPARE(model->CurrentState(), AdapterModel::State::AwaitFamily);

        Announce('y', 'v');
        port->Output("c");
        clock->Advance(300);
        port->SetInputLen(0);
        QCOMPARE(port->Input(), QByteArray(256, char(AdapterModel::MatchMark)));
        port->SetPortOpen(false);

        // A bulk erase leaves the chip differing wherever the programmed byte was not FFh.
        Announce('y', 'b');
        port->SetPortOpen(false);
        QCOMPARE(model->Eeprom(), QByteArray(512, char(0xff)));
        Announce('y', 'v');
        port->Output("c");
        clock->Advance(300);
        const QByteArray marks = port->Input();
        QCOMPARE(marks.size(), 256);
        for (int i = 0; i < 256; ++i) {
            QCOMPARE(marks[i] == char(AdapterModel::MismatchMark), data[i] != char(0xff));
        }
    }

    void mismatchSwitchMarksOneByte() {
        model->Faults().mismatchAt = 255;
        Announce('y', 'v');
        port->Output("c");
        clock->Advance(300);
        port->SetInputLen(0);
        const QByteArray marks = port->Input();
        QCOMPARE(marks.size(), 256);
        QCOMPARE(marks.indexOf(char(AdapterModel::MismatchMark)), 255);
        QCOMPARE(marks.count(char(AdapterModel::MismatchMark)), 1);
    }

    void clearWpoAndBulkEraseAreTwoByteExchanges() {
        model->SetEeprom(Pattern(512, 5));
        model->SetWpo(0x5a);
        Announce('y', 'w');
        clock->Advance(500);
        port->SetPortOpen(false);
        QCOMPARE(model->Wpo(), std::uint8_t(0));
        QCOMPARE(model->Eeprom(), Pattern(512, 5));

        Announce('x', 'b');
        clock->Advance(500);
        port->SetPortOpen(false);
        QCOMPARE(model->Eeprom(), QByteArray(512, char(0xff)));
        QCOMPARE(model->WireBytes(Direction::ToAdapter), QByteArray("ywxb"));
        QVERIFY(model->WireLog(Direction::FromAdapter).empty());
    }

    void abandonEndsTheExchange() {
        model->SetEeprom(Pattern(512, 2));
        Announce('x', 'r');
        port->Output("e");
        port->Output("c"); // no exchange is running: ignored
        clock->Advance(1000);
        QCOMPARE(port->InBufferCount(), 0);
        port->SetPortOpen(false);

        Announce('x', 'p');
        port->Output("e");
        port->Output("c");
        port->Output(QByteArray(4, char(0x11)));
        port->SetPortOpen(false);
        QCOMPARE(model->Eeprom(), Pattern(512, 2));
    }

    void newExchangeIsFoundAfterAnAbortedOne() {
        model->SetEeprom(Pattern(512, 4));
        // Bytes before a family letter are noise; a family letter while a command waits for
        // "c" starts over.
        port->SetPortOpen(true);
        port->Output("zz");
        port->Output("x");
        port->Output("v");
        port->Output("y");
        port->Output("r");
        port->Output("c");
        clock->Advance(400);
        port->SetInputLen(0);
        QCOMPARE(port->Input(), Pattern(512, 4).mid(256));

        // A PROGRAM block given up half way: after a long gap the model looks for a family
        // letter again instead of storing the next session's letters as data.
        AdapterModel bare;
        for (char byte : QByteArray("xpc")) {
            bare.Receive(std::uint8_t(byte), 0);
        }
        for (int i = 0; i < 10; ++i) {
            bare.Receive(0x00, 2.0 * i);
        }
        QCOMPARE(bare.CurrentState(), AdapterModel::State::Programming);
        for (char byte : QByteArray("xrc")) {
            bare.Receive(std::uint8_t(byte), 5000);
        }
        QCOMPARE(bare.CurrentState(), AdapterModel::State::AwaitFamily);
        QVERIFY(bare.NextReplyMs().has_value());
        QCOMPARE(bare.Eeprom().mid(10), QByteArray(502, char(0xff)));
    }

    void repliesOfAClosedSessionAreDropped() {
        Announce('x', 'r');
        port->Output("c");
        clock->Advance(50);
        port->SetPortOpen(false);
        const int crossed = int(model->WireLog(Direction::FromAdapter).size());
        QCOMPARE(crossed, int(50 / AdapterModel::LineMsPerByte));
        clock->Advance(1000);
        port->SetPortOpen(true);
        QCOMPARE(port->InBufferCount(), 0);
        QCOMPARE(int(model->WireLog(Direction::FromAdapter).size()), crossed);
        QCOMPARE(port->CommEvent(), 0);
    }

    void faultsOfTheAdapter() {
        // Silent: commands act on the chip, nothing comes back.
        model->Faults().silent = true;
        Announce('x', 'r');
        port->Output("c");
        clock->Advance(1000);
        QCOMPARE(port->InBufferCount(), 0);
        QVERIFY(port->DSRHolding());
        port->SetPortOpen(false);
        model->Faults().silent = false;

        // Slow: the replies come at the given pace.
        model->Faults().msPerByte = 100;
        Announce('x', 'r');
        port->Output("c");
        clock->Advance(250);
        QCOMPARE(port->InBufferCount(), 2);
        port->SetPortOpen(false);
        model->Faults().msPerByte = 0;

        // Short: the data phase ends after k bytes, both ways.
        model->Faults().stopAfter = 10;
        Announce('x', 'r');
        port->Output("c");
        clock->Advance(1000);
        QCOMPARE(port->InBufferCount(), 10);
        port->SetPortOpen(false);
        Announce('x', 'p');
        port->Output("c");
        for (int i = 0; i < 512; ++i) {
            port->Output(QByteArray(1, char(0x42)));
        }
        port->SetPortOpen(false);
        QCOMPARE(model->LastProgrammed(), QByteArray(10, char(0x42)));
        QCOMPARE(model->Eeprom().count(char(0x42)), 10);
        model->Faults().stopAfter = -1;

        model->Faults().dsrLow = true;
        port->SetPortOpen(true);
        QVERIFY(!port->DSRHolding());
        port->SetPortOpen(false);
        model->Faults().dsrLow = false;

        model->Faults().portMissing = true;
        QCOMPARE(ErrorNumberOf([&] { port->SetPortOpen(true); }), 8002);
        model->Faults().portMissing = false;
        model->Faults().portBusy = true;
        QCOMPARE(ErrorNumberOf([&] { port->SetPortOpen(true); }), 8005);
        QVERIFY(!port->PortOpen());
    }

    void portRules() {
        QCOMPARE(ErrorNumberOf([&] { port->Output("x"); }), 8012);
        QCOMPARE(ErrorNumberOf([&] { port->Input(); }), 8012);
        QCOMPARE(ErrorNumberOf([&] { port->DSRHolding(); }), 8012);
        port->SetPortOpen(true);
        QCOMPARE(ErrorNumberOf([&] { port->SetPortOpen(true); }), 8013);
        QCOMPARE(ErrorNumberOf([&] { port->SetInBufferSize(512); }), 8000);
        QCOMPARE(ErrorNumberOf([&] { port->SetSettings(QStringLiteral("9600,N,8")); }), 8009);
        QCOMPARE(port->Settings(), QStringLiteral("9600,N,8,1"));

        // A new port number waits for the next open.
        port->SetCommPort(9);
        QVERIFY(port->PortOpen());
        port->Output("x");
        port->SetPortOpen(false);
        port->SetPortOpen(false); // closing a closed port is harmless
        QCOMPARE(ErrorNumberOf([&] { port->SetPortOpen(true); }), 8002);
        port->SetCommPort(8);
        port->SetPortOpen(true);
    }
};

QTEST_GUILESS_MAIN(TestAdapterSim)
#include "tst_adaptersim.moc"

#include "transport/TelnetCodec.h"

#include <QtTest>

using transport::TelnetCodec;

namespace {

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    for (int v : values) {
        bytes.append(char(v));
    }
    return bytes;
}

constexpr int IAC = 255, SB = 250, SE = 240, WILL = 251, DO = 253, DONT = 254, WONT = 252;

} // namespace

// What a terminal server sends is split into the adapter's data and Telnet's own talk.
class TelnetTest : public QObject {
    Q_OBJECT

private slots:
    void serverBytesBecomeData() {
        const std::tuple<const char*, QByteArray, QByteArray, QByteArray> rows[] = {
            // fed, data, replies
            {"plain", "ab", "ab", ""},
            {"FFh doubled", Bytes({0x41, IAC, IAC, IAC, IAC}), Bytes({0x41, 255, 255}), ""},
            {"options among data", Bytes({1, IAC, WILL, 1, 2, IAC, DO, 24, 3}), Bytes({1, 2, 3}),
             Bytes({IAC, DONT, 1, IAC, WONT, 24})},
            {"wanted options are not answered again",
             Bytes({IAC, DO, 44, IAC, WILL, 0, IAC, DO, 3}), "", ""},
            {"subnegotiation with FFh inside", Bytes({7, IAC, SB, 44, 107, IAC, IAC, IAC, SE, 8}),
             Bytes({7, 8}), ""},
            {"other commands", Bytes({IAC, 241, 9, IAC, 249}), Bytes({9}), ""}};
        for (const auto& [name, fed, data, replies] : rows) {
            // Whole and a byte at a time: a command may be split anywhere by TCP.
            TelnetCodec whole, bytewise;
            QVERIFY2(whole.Feed(fed) == data && whole.TakeReplies() == replies, name);
            QByteArray got;
            for (char c : fed) {
                got += bytewise.Feed(QByteArray(1, c));
            }
            QVERIFY2(got == data && bytewise.TakeReplies() == replies, name);
        }
    }

    // The COM-PORT option (44): accepted or refused, the modem state it reports, and what the
    // client sends (9600 baud: SET-BAUDRATE with four bytes, most significant first).
    void comPortOption() {
        TelnetCodec codec, refused;
        QVERIFY(!codec.ComPortAccepted() && !codec.ModemState());
        codec.Feed(Bytes({IAC, DO, 44, IAC, SB, 44, 107, 0x30, IAC, SE}));
        QVERIFY(codec.ComPortAccepted());
        QCOMPARE(int(*codec.ModemState()), 0x30); // DSR (20h) among the lines
        refused.Feed(Bytes({IAC, DONT, 44}));
        QVERIFY(refused.ComPortRefused() && !refused.ComPortAccepted());
        QCOMPARE(TelnetCodec::ComPortCommand(1, Bytes({0, 0, 0x25, 0x80})),
                 Bytes({IAC, SB, 44, 1, 0, 0, 0x25, 0x80, IAC, SE}));
        QCOMPARE(TelnetCodec::ComPortCommand(11, Bytes({255})),
                 Bytes({IAC, SB, 44, 11, 255, 255, IAC, SE}));
    }

    // A hostile server: endless subnegotiation, option floods. Memory stays bounded and the
    // fault is named.
    void hostileServersAreBounded() {
        TelnetCodec endless;
        endless.Feed(Bytes({IAC, SB, 44}));
        for (int i = 0; i < 10000; ++i) {
            endless.Feed(QByteArray(1000, 'x'));
        }
        QVERIFY(endless.Fault().contains("subnegotiation"));
        TelnetCodec flood;
        QByteArray requests;
        for (int i = 0; i < 100000; ++i) {
            requests += Bytes({IAC, DO, 99});
        }
        QVERIFY(flood.Feed(requests).isEmpty());
        QVERIFY(flood.TakeReplies().size() <= 3 * 256 + 3);
    }
};

QTEST_GUILESS_MAIN(TelnetTest)
#include "tst_telnet.moc"

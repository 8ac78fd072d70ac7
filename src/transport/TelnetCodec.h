#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace transport {

// The Telnet side of an RFC 2217 connection, without the socket: what the server sends is
// fed in and comes out as data bytes (IAC IAC as one FFh); every command, option request and
// subnegotiation is consumed, answered where Telnet needs an answer, and never taken as
// data. The COM-PORT-OPTION's notifications keep the modem state. Memory stays bounded
// whatever the server sends.
class TelnetCodec {
public:
    static constexpr unsigned char IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251,
                                   SB = 250, SE = 240;
    static constexpr unsigned char Binary = 0, SuppressGoAhead = 3, ComPort = 44;
    // COM-PORT-OPTION commands, client to server; the server answers with 100 added.
    static constexpr unsigned char SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4,
                                   SetControl = 5, NotifyModemState = 7, SetModemStateMask = 11,
                                   PurgeData = 12;
    static constexpr unsigned char ModemDsr = 0x20;
    // A subnegotiation longer than this is no COM-PORT message: the server is refused.
    static constexpr int MaxSubnegotiation = 64;

    // The options the client asks for when it connects (BINARY both ways, SUPPRESS-GO-AHEAD,
    // and COM-PORT-OPTION).
    static QByteArray Greeting();
    // A COM-PORT-OPTION command with its value, FFh bytes doubled.
    static QByteArray ComPortCommand(unsigned char command, const QByteArray& value);
    // Data for the wire: every FFh doubled.
    static QByteArray Escape(const QByteArray& data);

    // The data bytes in what the server sent.
    QByteArray Feed(const QByteArray& bytes);
    // Answers the client owes the server for what was fed (refusals of options it asked).
    QByteArray TakeReplies();

    // The server agreed to the COM-PORT-OPTION (DO COM-PORT-OPTION).
    bool ComPortAccepted() const { return accepted_; }
    // The server refused it.
    bool ComPortRefused() const { return refused_; }
    // The last modem state the server reported.
    std::optional<unsigned char> ModemState() const { return modemState_; }
    // Set when the server broke the protocol; the connection is then of no use.
    const QString& Fault() const { return fault_; }

private:
    enum class State { Data, Command, Option, Subnegotiation, SubnegotiationIac };
    void OnOption(unsigned char verb, unsigned char option);
    void OnSubnegotiation();

    State state_ = State::Data;
    unsigned char verb_ = 0;
    QByteArray sub_;
    QByteArray replies_;
    bool accepted_ = false;
    bool refused_ = false;
    std::optional<unsigned char> modemState_;
    QString fault_;
};

} // namespace transport

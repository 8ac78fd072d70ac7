#pragma once

#include "TelnetCodec.h"
#include "platform/ByteTransport.h"

#include <QElapsedTimer>
#include <memory>
#include <optional>

class QDeadlineTimer;
class QTcpSocket;

namespace transport {

// A terminal server's port over TCP: "net:HOST:PORT" carries the adapter's bytes as they are
// (a raw accepter; no line settings, no modem lines), "rfc2217://HOST:PORT" speaks Telnet
// with the COM-PORT-OPTION, setting the remote line and reporting its modem lines; with
// "?dsr=ignore" the DSR the server reports is not asked for. Connects within 3 s, without
// Nagle's delay, and every byte written has left for the server before Write returns.
// A server opens its serial port only once it has taken the connection and holds what came
// before, so Open tells how long the first byte must wait ("?open-wait=MS" for a slow one).
// Whatever a raw port's server says before the first byte is written is not the adapter's
// (it speaks only when asked): it is dropped, and a Telnet negotiation refuses the port.
class NetworkTransport : public platform::ByteTransport {
public:
    enum class Kind { Raw, Rfc2217 };

    struct Address {
        Kind kind = Kind::Raw;
        QString host;
        quint16 port = 0;
        bool ignoreDsr = false;
        int openWaitMs = DefaultOpenWaitMs;
    };
    // The address a port name gives, or nothing when the name is no network port. why says
    // what is wrong with a name that starts like one but is malformed.
    static std::optional<Address> Parse(const QString& name, QString* why);
    static bool IsNetworkName(const QString& name);

    NetworkTransport(const Address& address, QString name);
    ~NetworkTransport() override;

    int Open(const platform::LineSettings& line) override;
    void Close() override;
    void Write(const QByteArray& bytes) override;
    QByteArray Read(int waitMs = 0) override;
    bool Dsr() const override;
    bool StillThere(QString* why) const override;

    // How long a server may take to open its serial port after it took the connection:
    // ser2net 4 on loopback needs about 5 ms, and 20 ms when the last session has just ended
    // (it lets go of the port about 15 ms after the connection closed).
    static constexpr int DefaultOpenWaitMs = 50;
    static constexpr int MaxOpenWaitMs = 10000;
    // How long connecting, the server's agreement and a write may take.
    static constexpr int TimeoutMs = 3000;
    // How long closing waits for the server to let go of the session.
    static constexpr int CloseWaitMs = 1000;

private:
    // The line settings to the server (RFC 2217); a raw port keeps the server's own.
    void SendLine();
    [[noreturn]] void Fail(int number, const QString& what) const;
    void Connect(const QDeadlineTimer& deadline);
    void SendRaw(const QByteArray& bytes);
    // Takes what the socket holds through the Telnet layer; raises what broke it.
    QByteArray Take();
    // A raw port before its first byte is written: what the server said is not data.
    QByteArray Unasked(const QByteArray& raw);
    // Reads until ready() holds or the time runs out.
    bool AwaitServer(const std::function<bool()>& ready, int ms);

    Address address_;
    QString name_;
    std::unique_ptr<QTcpSocket> socket_;
    TelnetCodec telnet_;
    platform::LineSettings line_;
    mutable QByteArray pending_; // data taken while waiting for the server, not yet read
    bool spoken_ = false;        // a byte was written in this session
    QByteArray heard_;           // the first bytes a raw port's server said unasked
    QElapsedTimer connected_;
};

} // namespace transport

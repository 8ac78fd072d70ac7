#pragma once

#include "ByteTransport.h"
#include "TelnetCodec.h"

#include <memory>
#include <optional>

class QDeadlineTimer;
class QTcpSocket;

namespace platform {

// A terminal server's port over TCP: "net:HOST:PORT" carries the adapter's bytes as they are
// (a raw accepter; no line settings, no modem lines), "rfc2217://HOST:PORT" speaks Telnet
// with the COM-PORT-OPTION, setting the remote line and reporting its modem lines; with
// "?dsr=ignore" the DSR the server reports is not asked for. Connects within 3 s, without
// Nagle's delay, and every byte written has left for the server before Write returns.
class NetworkTransport : public ByteTransport {
public:
    enum class Kind { Raw, Rfc2217 };

    struct Address {
        Kind kind = Kind::Raw;
        QString host;
        quint16 port = 0;
        bool ignoreDsr = false;
    };
    // The address a port name gives, or nothing when the name is no network port. why says
    // what is wrong with a name that starts like one but is malformed.
    static std::optional<Address> Parse(const QString& name, QString* why);
    static bool IsNetworkName(const QString& name);

    NetworkTransport(const Address& address, QString name);
    ~NetworkTransport() override;

    void Open() override;
    void Close() override;
    bool IsOpen() const override;
    void SetLine(const LineSettings& line) override;
    void Write(const QByteArray& bytes) override;
    QByteArray Read(int waitMs = 0) override;
    bool Dsr() const override;
    bool StillThere(QString* why) const override;

    // How long connecting, the server's agreement and a write may take.
    static constexpr int TimeoutMs = 3000;
    // How long closing waits for the server to let go of the session.
    static constexpr int CloseWaitMs = 1000;

private:
    [[noreturn]] void Fail(int number, const QString& what) const;
    void Connect(const QDeadlineTimer& deadline);
    void SendRaw(const QByteArray& bytes);
    // Takes what the socket holds through the Telnet layer; raises what broke it.
    QByteArray Take();
    // Reads until ready() holds or the time runs out.
    bool AwaitServer(const std::function<bool()>& ready, int ms);

    Address address_;
    QString name_;
    std::unique_ptr<QTcpSocket> socket_;
    TelnetCodec telnet_;
    LineSettings line_;
    mutable QByteArray pending_; // data taken while waiting for the server, not yet read
};

} // namespace platform

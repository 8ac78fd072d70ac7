#include "NetworkTransport.h"

#include "platform/CommErrors.h"
#include "platform/RuntimeError.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTcpSocket>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif
#include <QThread>

namespace transport {

using namespace platform;

namespace {

constexpr char NetPrefix[] = "net:";
constexpr char Rfc2217Prefix[] = "rfc2217://";
// What may wait in the socket unread: a server that sends without end is cut off here.
constexpr qint64 ReadBufferBytes = 64 * 1024;

QByteArray BigEndian(quint32 value) {
    QByteArray bytes(4, 0);
    for (int i = 0; i < 4; ++i) {
        bytes[i] = char((value >> (8 * (3 - i))) & 0xFF);
    }
    return bytes;
}

unsigned char ParityCode(char parity) {
    switch (parity) {
    case 'O':
        return 2;
    case 'E':
        return 3;
    case 'M':
        return 4;
    case 'S':
        return 5;
    default:
        return 1;
    }
}

unsigned char StopCode(int stopBitsTimesTwo) {
    return stopBitsTimesTwo == 4 ? 2 : stopBitsTimesTwo == 3 ? 3 : 1;
}

} // namespace

bool NetworkTransport::IsNetworkName(const QString& name) {
    return name.startsWith(QLatin1String(NetPrefix), Qt::CaseInsensitive) ||
           name.startsWith(QLatin1String(Rfc2217Prefix), Qt::CaseInsensitive);
}

std::optional<NetworkTransport::Address> NetworkTransport::Parse(const QString& name,
                                                                 QString* why) {
    Address address;
    QString rest;
    if (name.startsWith(QLatin1String(NetPrefix), Qt::CaseInsensitive)) {
        rest = name.mid(int(sizeof NetPrefix) - 1);
    } else if (name.startsWith(QLatin1String(Rfc2217Prefix), Qt::CaseInsensitive)) {
        address.kind = Kind::Rfc2217;
        rest = name.mid(int(sizeof Rfc2217Prefix) - 1);
    } else {
        return std::nullopt;
    }
    const int query = int(rest.indexOf(QLatin1Char('?')));
    if (query >= 0) {
        static const QRegularExpression wait(QStringLiteral("^open-wait=(\\d{1,5})$"),
                                             QRegularExpression::CaseInsensitiveOption);
        for (const QString& option : rest.mid(query + 1).split(QLatin1Char('&'))) {
            const QRegularExpressionMatch ms = wait.match(option);
            if (option.compare(QLatin1String("dsr=ignore"), Qt::CaseInsensitive) == 0) {
                address.ignoreDsr = true;
            } else if (ms.hasMatch() && ms.captured(1).toInt() <= MaxOpenWaitMs) {
                address.openWaitMs = ms.captured(1).toInt();
            } else {
                *why = QStringLiteral("%1: unknown option \"%2\" (known are dsr=ignore and "
                                      "open-wait=MS, from 0 to %3 ms)")
                           .arg(name, option)
                           .arg(MaxOpenWaitMs);
                return std::nullopt;
            }
        }
        rest = rest.left(query);
    }
    if (address.kind == Kind::Rfc2217 && rest.endsWith(QLatin1Char('/'))) {
        rest.chop(1);
    }
    // HOST:PORT, the host in brackets when it is an IPv6 address.
    static const QRegularExpression form(
        QStringLiteral("^(?:\\[([0-9A-Fa-f:.]+)\\]|([A-Za-z0-9._-]+)):(\\d{1,5})$"));
    const QRegularExpressionMatch match = form.match(rest);
    const uint port = match.hasMatch() ? match.captured(3).toUInt() : 0;
    if (!match.hasMatch() || port < 1 || port > 65535) {
        *why = QStringLiteral("%1 is not a network port: give net:HOST:PORT or "
                              "rfc2217://HOST:PORT with a port from 1 to 65535")
                   .arg(name);
        return std::nullopt;
    }
    address.host = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
    address.port = quint16(port);
    return address;
}

NetworkTransport::NetworkTransport(const Address& address, QString name)
    : address_(address), name_(std::move(name)) {}

NetworkTransport::~NetworkTransport() {
    Close();
}

void NetworkTransport::Fail(int number, const QString& what) const {
    throw RuntimeError(number, QStringLiteral("%1: %2").arg(name_, what));
}

int NetworkTransport::Open(const LineSettings& line) {
    line_ = line;
    if (socket_) {
        Fail(CommError::PortAlreadyOpen, QStringLiteral("already open"));
    }
    const QDeadlineTimer deadline(TimeoutMs);
    // A terminal server still letting go of the last session may close a new one at once
    // (ser2net does): such a connection is tried again while the time lasts.
    for (;;) {
        Connect(deadline);
        if (address_.kind == Kind::Raw) {
            return address_.openWaitMs;
        }
        try {
            SendRaw(TelnetCodec::Greeting());
            AwaitServer([this] { return telnet_.ComPortAccepted() || telnet_.ComPortRefused(); },
                        int(std::max<qint64>(deadline.remainingTime(), 0)));
        } catch (const RuntimeError&) {
            // Closed before it answered: asked again below while the time lasts.
        }
        if (!telnet_.ComPortAccepted() && !telnet_.ComPortRefused() &&
            socket_->state() != QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
            Close();
            QThread::msleep(20);
            continue;
        }
        try {
            if (!telnet_.ComPortAccepted()) {
                Fail(CommError::SetCommState,
                     QStringLiteral("the server does not speak RFC 2217 (it did not take the "
                                    "COM-PORT-OPTION); use net:%1:%2 for a raw port")
                         .arg(address_.host)
                         .arg(address_.port));
            }
            // Nothing left over from before this session, either way.
            SendRaw(TelnetCodec::ComPortCommand(TelnetCodec::PurgeData, QByteArray(1, char(3))));
            SendRaw(TelnetCodec::ComPortCommand(TelnetCodec::SetModemStateMask,
                                                QByteArray(1, char(0xFF))));
            SendLine();
            // The negotiation took part of the time the server needs to open its port.
            return int(std::max<qint64>(address_.openWaitMs - connected_.elapsed(), 0));
        } catch (const RuntimeError&) {
            Close();
            throw;
        }
    }
}

void NetworkTransport::Connect(const QDeadlineTimer& deadline) {
    socket_ = std::make_unique<QTcpSocket>();
    socket_->setReadBufferSize(ReadBufferBytes);
    telnet_ = TelnetCodec();
    pending_.clear();
    spoken_ = false;
    heard_.clear();
    QObject::connect(socket_.get(), &QTcpSocket::readyRead, socket_.get(), [this] {
        if (onArrival) {
            onArrival();
        }
    });
    socket_->connectToHost(address_.host, address_.port);
    // In short steps, so that the window is still drawn while a far server is awaited.
    while (socket_->state() != QAbstractSocket::ConnectedState) {
        if (socket_->state() == QAbstractSocket::UnconnectedState || deadline.hasExpired()) {
            const bool refused = socket_->error() == QAbstractSocket::ConnectionRefusedError;
            const bool unknown = socket_->error() == QAbstractSocket::HostNotFoundError;
            const QString reason =
                deadline.hasExpired() && socket_->state() != QAbstractSocket::UnconnectedState
                    ? QStringLiteral("no answer within %1 s").arg(TimeoutMs / 1000)
                : refused ? QStringLiteral("the connection was refused (nothing listens there)")
                : unknown ? QStringLiteral("there is no host %1").arg(address_.host)
                          : socket_->errorString();
            socket_.reset();
            Fail(CommError::PortInvalid, QStringLiteral("cannot connect: %1").arg(reason));
        }
        socket_->waitForConnected(50);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connected_.start();
}

void NetworkTransport::Close() {
    if (!socket_) {
        return;
    }
    socket_->disconnect(); // no more arrivals to report
    if (socket_->state() == QAbstractSocket::ConnectedState) {
        socket_->flush();
        socket_->waitForBytesWritten(200);
#ifdef Q_OS_UNIX
        // Half-close, then wait for the server to close its end: a terminal server takes a
        // new session on the port only once it has let go of this one.
        ::shutdown(int(socket_->socketDescriptor()), SHUT_WR);
        const QDeadlineTimer deadline(CloseWaitMs);
        while (socket_->state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
            socket_->waitForReadyRead(int(std::min<qint64>(50, deadline.remainingTime())));
            socket_->readAll();
        }
#endif
    }
    socket_->abort();
    socket_.reset();
}

void NetworkTransport::SendLine() {
    const LineSettings& line = line_;
    SendRaw(TelnetCodec::ComPortCommand(TelnetCodec::SetBaudRate, BigEndian(quint32(line.baud))));
    SendRaw(
        TelnetCodec::ComPortCommand(TelnetCodec::SetDataSize, QByteArray(1, char(line.dataBits))));
    SendRaw(TelnetCodec::ComPortCommand(TelnetCodec::SetParity,
                                        QByteArray(1, char(ParityCode(line.parity)))));
    SendRaw(TelnetCodec::ComPortCommand(TelnetCodec::SetStopSize,
                                        QByteArray(1, char(StopCode(line.stopBitsTimesTwo)))));
    // No flow control: the adapter has none.
    SendRaw(TelnetCodec::ComPortCommand(TelnetCodec::SetControl, QByteArray(1, char(1))));
}

void NetworkTransport::SendRaw(const QByteArray& bytes) {
    if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState) {
        Fail(ErrorNumber::SerialSystemError, QStringLiteral("the server closed the connection"));
    }
    if (socket_->write(bytes) != bytes.size()) {
        Fail(ErrorNumber::SerialSystemError,
             QStringLiteral("writing failed: %1").arg(socket_->errorString()));
    }
    // QTcpSocket only queues until the event loop runs: the byte must be on its way now.
    const QDeadlineTimer deadline(TimeoutMs);
    while (socket_->bytesToWrite() > 0) {
        // Data that arrives meanwhile may be answered and flushed from inside the wait, which
        // then reports nothing left to write: only what is still queued counts.
        if (socket_->waitForBytesWritten(int(std::max<qint64>(deadline.remainingTime(), 0))) ||
            socket_->bytesToWrite() == 0) {
            continue;
        }
        if (socket_->state() != QAbstractSocket::ConnectedState) {
            Fail(ErrorNumber::SerialSystemError,
                 QStringLiteral("the server closed the connection"));
        }
        if (deadline.hasExpired()) {
            Fail(CommError::DeviceBusy,
                 QStringLiteral("the server took no data for %1 s").arg(TimeoutMs / 1000));
        }
    }
}

void NetworkTransport::Write(const QByteArray& bytes) {
    if (!spoken_ && address_.kind == Kind::Raw && socket_) {
        // The last look at what the server said unasked: a Telnet server is refused before
        // the adapter hears anything.
        socket_->waitForReadyRead(0);
        Take();
        spoken_ = true;
    }
    SendRaw(address_.kind == Kind::Rfc2217 ? TelnetCodec::Escape(bytes) : bytes);
}

QByteArray NetworkTransport::Take() {
    const QByteArray raw = socket_->readAll();
    if (address_.kind == Kind::Raw) {
        return spoken_ ? raw : Unasked(raw);
    }
    const QByteArray data = telnet_.Feed(raw);
    const QByteArray replies = telnet_.TakeReplies();
    if (!replies.isEmpty() && socket_->state() == QAbstractSocket::ConnectedState) {
        socket_->write(replies);
        socket_->flush();
    }
    if (!telnet_.Fault().isEmpty()) {
        pending_ += data;
        Fail(ErrorNumber::SerialSystemError, telnet_.Fault());
    }
    return data;
}

QByteArray NetworkTransport::Unasked(const QByteArray& raw) {
    if (heard_.size() < 2) {
        heard_ += raw.left(2 - heard_.size());
    }
    // IAC followed by WILL, WONT, DO, DONT or SB: the server negotiates Telnet options.
    const bool telnet = heard_.size() == 2 &&
                        static_cast<unsigned char>(heard_[0]) == TelnetCodec::IAC &&
                        (static_cast<unsigned char>(heard_[1]) == TelnetCodec::SB ||
                         (static_cast<unsigned char>(heard_[1]) >= TelnetCodec::WILL &&
                          static_cast<unsigned char>(heard_[1]) <= TelnetCodec::DONT));
    if (telnet) {
        const QString host = address_.host.contains(QLatin1Char(':'))
                                 ? QStringLiteral("[%1]").arg(address_.host)
                                 : address_.host;
        Fail(CommError::SetCommState,
             QStringLiteral("this port speaks RFC 2217: use rfc2217://%1:%2")
                 .arg(host)
                 .arg(address_.port));
    }
    return QByteArray();
}

bool NetworkTransport::AwaitServer(const std::function<bool()>& ready, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!ready()) {
        if (deadline.hasExpired() || socket_->state() != QAbstractSocket::ConnectedState) {
            return ready();
        }
        socket_->waitForReadyRead(int(std::min<qint64>(20, deadline.remainingTime())));
        pending_ += Take();
    }
    return true;
}

QByteArray NetworkTransport::Read(int waitMs) {
    if (!socket_) {
        Fail(CommError::PortNotOpen, QStringLiteral("the port is not open"));
    }
    if (pending_.isEmpty() && socket_->bytesAvailable() == 0 && waitMs > 0) {
        socket_->waitForReadyRead(waitMs);
    } else {
        socket_->waitForReadyRead(0);
    }
    QByteArray data = pending_ + Take();
    pending_.clear();
    if (data.isEmpty() && socket_->state() != QAbstractSocket::ConnectedState &&
        socket_->bytesAvailable() == 0) {
        Fail(ErrorNumber::SerialSystemError, QStringLiteral("the server closed the connection"));
    }
    return data;
}

bool NetworkTransport::Dsr() const {
    if (address_.kind == Kind::Raw || address_.ignoreDsr) {
        return true; // no modem lines to ask
    }
    auto* self = const_cast<NetworkTransport*>(this);
    // The server reports the lines once the mask is set; give it a moment to.
    if (!telnet_.ModemState() && socket_) {
        self->AwaitServer([this] { return telnet_.ModemState().has_value(); }, 1000);
    }
    return telnet_.ModemState() && (*telnet_.ModemState() & TelnetCodec::ModemDsr);
}

bool NetworkTransport::StillThere(QString* why) const {
    if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState) {
        *why = QStringLiteral("%1: the server closed the connection").arg(name_);
        return false;
    }
    if (!telnet_.Fault().isEmpty()) {
        *why = QStringLiteral("%1: %2").arg(name_, telnet_.Fault());
        return false;
    }
    return true;
}

} // namespace transport

#include "QtSerialPort.h"

#include "CommErrors.h"
#include "NetworkTransport.h"
#include "RuntimeError.h"
#include "TransportPort.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QSet>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

// The devices this program holds open, so a second open is told apart from another
// process's lock.
QSet<QString>& DevicesOpenHere() {
    static QSet<QString> devices;
    return devices;
}

QString DeviceKey(const QString& device) {
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? device : canonical;
}

// The group that may open device, read from the file itself ("dialout" on most systems).
QString DeviceGroup(const QString& device) {
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::stat(QFile::encodeName(device).constData(), &info) == 0) {
        if (const struct group* g = ::getgrgid(info.st_gid)) {
            return QString::fromLocal8Bit(g->gr_name);
        }
    }
#endif
    return QStringLiteral("dialout");
}

QString AccessHint(const QString& device) {
    const QString group = DeviceGroup(device);
    return QStringLiteral("%1 belongs to the group %2; add yourself with: sudo usermod -aG %2 "
                          "$USER \u2014 then log out and in again. Or choose another port.")
        .arg(device, group);
}

// What a path is when it is not a character device: the words that say why it cannot be a
// serial port; "" for a character device (a tty or not, the system tells when it opens).
QString NotASerialPort(const QString& device) {
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::stat(QFile::encodeName(device).constData(), &info) != 0 || S_ISCHR(info.st_mode)) {
        return QString();
    }
    const char* kind = S_ISFIFO(info.st_mode)   ? "a FIFO"
                       : S_ISREG(info.st_mode)  ? "a regular file"
                       : S_ISDIR(info.st_mode)  ? "a folder"
                       : S_ISSOCK(info.st_mode) ? "a socket"
                                                : "not a device";
    return QStringLiteral("%1 is not a serial port: it is %2").arg(device, QLatin1String(kind));
#else
    Q_UNUSED(device);
    return QString();
#endif
}

// A name without a folder is taken as given when it exists there, else as a device in /dev.
QString ResolveDevice(const QString& device) {
#ifdef Q_OS_UNIX
    if (!device.contains(QLatin1Char('/'))) {
        return QFileInfo::exists(device) ? QFileInfo(device).absoluteFilePath()
                                         : QStringLiteral("/dev/") + device;
    }
#endif
    return device;
}

[[noreturn]] void NoAccess(const QString& device, const QString& reason) {
    throw RuntimeError(
        ErrorNumber::SerialSystemError,
        QStringLiteral("Cannot open %1: %2.\n%3").arg(device, reason, AccessHint(device)));
}

QSerialPort::Parity ToQt(char parity) {
    switch (parity) {
    case 'E':
        return QSerialPort::EvenParity;
    case 'O':
        return QSerialPort::OddParity;
    case 'M':
        return QSerialPort::MarkParity;
    case 'S':
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits StopBitsToQt(int stopBitsTimesTwo) {
    switch (stopBitsTimesTwo) {
    case 3:
        return QSerialPort::OneAndHalfStop;
    case 4:
        return QSerialPort::TwoStop;
    default:
        return QSerialPort::OneStop;
    }
}

// How long a write may take to reach the system before the device counts as stuck: the
// bytes at a slow line's pace with plenty to spare.
int WriteTimeoutMs(qint64 bytes) {
    return 1000 + int(bytes) * 20;
}

} // namespace

QtSerialPort::QtSerialPort(SimulatedPortFactory simulated)
    : simulatedFactory_(std::move(simulated)), serial_(std::make_unique<QSerialPort>()) {
    // Data noticed by the event loop (inside a wait) enters the queue at once, under the
    // receive threshold in force when it came.
    QObject::connect(serial_.get(), &QSerialPort::readyRead, serial_.get(), [this] { Pull(); });
}

QtSerialPort::~QtSerialPort() {
    if (serial_->isOpen()) {
        try {
            CloseDevice();
        } catch (const RuntimeError&) {
            // Going away: whatever could not be written is lost with the port.
        }
    }
}

bool QtSerialPort::PortOpen() const {
    return delegateOpen_ || serial_->isOpen();
}

void QtSerialPort::RequireOpen() const {
    if (delegateOpen_) {
        return;
    }
    control_.RequireOpen();
}

void QtSerialPort::SetPortOpen(bool open) {
    if (!open) {
        if (delegateOpen_) {
            delegateOpen_ = false;
            delegate_->SetPortOpen(false);
        } else if (serial_->isOpen()) {
            CloseDevice();
        }
        return;
    }
    if (PortOpen()) {
        throw RuntimeError(CommError::PortAlreadyOpen, QStringLiteral("Port Already Open"));
    }
    if (device_.isEmpty()) {
        throw RuntimeError(CommError::PortInvalid,
                           QStringLiteral("There is no port number %1").arg(commPort_));
    }
    if (device_.compare(SimulatedDevice, Qt::CaseInsensitive) == 0) {
        OpenSimulated();
    } else if (NetworkTransport::IsNetworkName(device_)) {
        OpenNetwork();
    } else if (device_.startsWith(QLatin1String("usb:"), Qt::CaseInsensitive)) {
        // The adapter with that serial number, wherever it is plugged in now.
        const QtPortEnumeration system;
        QString why;
        const QString path = FindUsbAdapter((enumeration_ ? enumeration_ : &system)->Ports(),
                                            device_.mid(4).trimmed(), &why);
        if (path.isEmpty()) {
            throw RuntimeError(CommError::PortInvalid, QStringLiteral("%1: %2").arg(device_, why));
        }
        OpenDevice(path);
    } else {
        OpenDevice(device_);
    }
}

void QtSerialPort::OpenSimulated() {
    if (!simulated_ && simulatedFactory_) {
        simulated_ = simulatedFactory_();
    }
    delegate_ = simulated_.get();
    if (!simulated_) {
        throw RuntimeError(CommError::PortInvalid,
                           QStringLiteral("Comm%1 is set to the simulated adapter, which this "
                                          "build does not have")
                               .arg(commPort_));
    }
    OpenDelegate();
}

void QtSerialPort::OpenNetwork() {
    QString why;
    const std::optional<NetworkTransport::Address> address = NetworkTransport::Parse(device_, &why);
    if (!address) {
        throw RuntimeError(CommError::PortInvalid, why);
    }
    network_ =
        std::make_unique<TransportPort>(std::make_unique<NetworkTransport>(*address, device_));
    delegate_ = network_.get();
    OpenDelegate();
}

void QtSerialPort::OpenDelegate() {
    delegate_->SetCommPort(commPort_);
    delegate_->SetDevice(device_);
    delegate_->SetSettings(settingsText_);
    delegate_->SetInBufferSize(control_.InBufferSize());
    delegate_->SetOutBufferSize(control_.OutBufferSize());
    delegate_->SetInputLen(control_.InputLen());
    delegate_->SetRThreshold(control_.RThreshold());
    delegate_->SetPortOpen(true);
    delegateOpen_ = true;
    lastSessionDelegated_ = true;
}

void QtSerialPort::OpenDevice(const QString& named) {
    const QString device = ResolveDevice(named);
    const QString key = DeviceKey(device);
    if (DevicesOpenHere().contains(key)) {
        throw RuntimeError(CommError::PortAlreadyOpen,
                           QStringLiteral("%1 is already open in this program").arg(device));
    }
#ifdef Q_OS_UNIX
    // The system's own reasons are clearer than QSerialPort's for these two.
    const QByteArray path = QFile::encodeName(device);
    if (!QFileInfo::exists(device)) {
        // Say what is there instead: the adapter may have come back under another name.
        const QtPortEnumeration system;
        QStringList present;
        for (const SystemPort& port : (enumeration_ ? enumeration_ : &system)->Ports()) {
            present << (port.description.isEmpty() ? port.PreferredName()
                                                   : QStringLiteral("%1 (%2)").arg(
                                                         port.PreferredName(), port.description));
        }
        throw RuntimeError(CommError::PortInvalid,
                           QStringLiteral("No such device: %1. %2")
                               .arg(device, present.isEmpty()
                                                ? QStringLiteral("No serial port is present.")
                                                : QStringLiteral("Ports present: %1.")
                                                      .arg(present.join(QStringLiteral(", ")))));
    }
    if (::access(path.constData(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM)) {
        NoAccess(device, QString::fromLocal8Bit(std::strerror(errno)));
    }
    // Opening a FIFO could wait for a writer; a file of any other kind carries no line.
    const QString notAPort = NotASerialPort(device);
    if (!notAPort.isEmpty()) {
        throw RuntimeError(CommError::SetCommState, notAPort);
    }
#endif

    serial_->setPortName(device);
    serial_->setFlowControl(QSerialPort::NoFlowControl);
    ApplyLineSettings(line_);
    if (!serial_->open(QIODevice::ReadWrite)) {
        const QString reason = serial_->errorString();
        const QSerialPort::SerialPortError error = serial_->error();
        serial_->clearError();
        switch (error) {
        case QSerialPort::DeviceNotFoundError:
            throw RuntimeError(CommError::PortInvalid,
                               QStringLiteral("Cannot open %1: %2").arg(device, reason));
        case QSerialPort::PermissionError:
            if (reason.contains(QLatin1String("ermission denied")) ||
                reason.contains(QLatin1String("not permitted"))) {
                NoAccess(device, reason);
            }
            // Locked or busy: another process has it.
            throw RuntimeError(CommError::PortInUse,
                               QStringLiteral("%1 is in use: %2").arg(device, reason));
        case QSerialPort::ResourceError:
            throw RuntimeError(CommError::PortInUse,
                               QStringLiteral("%1 is in use: %2").arg(device, reason));
        case QSerialPort::OpenError:
            throw RuntimeError(CommError::PortAlreadyOpen,
                               QStringLiteral("%1 is already open").arg(device));
        case QSerialPort::UnsupportedOperationError:
            // A character device without a line (/dev/null, /dev/zero): no serial port.
            throw RuntimeError(CommError::SetCommState,
                               QStringLiteral("%1 is not a serial port: it refused the settings "
                                              "%2 (%3)")
                                   .arg(device, settingsText_, reason));
        default:
            throw RuntimeError(ErrorNumber::SerialSystemError,
                               QStringLiteral("Cannot open %1: %2").arg(device, reason));
        }
    }
#ifdef Q_OS_UNIX
    // QSerialPort's lock file and exclusive mode keep out neither a second process running as
    // root nor one that names the device by another path; a lock on the device itself does.
    if (::flock(int(serial_->handle()), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        serial_->close();
        serial_->clearError();
        throw RuntimeError(CommError::PortInUse,
                           QStringLiteral("%1 is in use by another process").arg(device));
    }
#endif
    DevicesOpenHere().insert(key);
    openDevice_ = key;
    lastSessionDelegated_ = false;

    // A session starts afresh: nothing left over in either direction, no earlier event.
    serial_->clear(QSerialPort::AllDirections);
    control_.StartSession();
    readFailure_.clear();
    // Adapters take their supply or their DSR loop from these lines; a device without
    // modem lines (a pseudo-terminal) refuses, which is harmless.
    serial_->setDataTerminalReady(true);
    serial_->setRequestToSend(true);
    serial_->clearError();
}

void QtSerialPort::CloseDevice() {
    control_.EndSession();
    DevicesOpenHere().remove(openDevice_);
    openDevice_.clear();
    // Bytes still queued would be lost by close: hand them to the system first.
    QString failure;
    try {
        Drain(WriteTimeoutMs(serial_->bytesToWrite()));
    } catch (const RuntimeError& error) {
        failure = error.Description();
    }
    serial_->close();
    serial_->clearError();
    if (!failure.isEmpty()) {
        throw RuntimeError(CommError::DeviceBusy, failure);
    }
}

void QtSerialPort::ApplyLineSettings(const LineSettings& line) {
    const bool ok = serial_->setBaudRate(line.baud) &&
                    serial_->setDataBits(QSerialPort::DataBits(line.dataBits)) &&
                    serial_->setParity(ToQt(line.parity)) &&
                    serial_->setStopBits(StopBitsToQt(line.stopBitsTimesTwo));
    if (!ok) {
        const QString reason = serial_->errorString();
        serial_->clearError();
        throw RuntimeError(CommError::SetCommState,
                           QStringLiteral("%1 refused the settings %2: %3")
                               .arg(serial_->portName(), settingsText_, reason));
    }
}

void QtSerialPort::SetSettings(const QString& settings) {
    const LineSettings line = ParseLineSettings(settings);
    if (delegateOpen_) {
        delegate_->SetSettings(settings);
    } else if (serial_->isOpen()) {
        ApplyLineSettings(line);
    }
    line_ = line;
    settingsText_ = settings;
}

void QtSerialPort::SetRThreshold(int threshold) {
    if (delegateOpen_) {
        delegate_->SetRThreshold(threshold);
    } else {
        // Bytes that arrived before the change were seen under the old threshold.
        Pull();
    }
    control_.SetRThreshold(threshold);
}

void QtSerialPort::SetInputLen(int length) {
    control_.SetInputLen(length);
    if (delegateOpen_) {
        delegate_->SetInputLen(length);
    }
}

void QtSerialPort::SetInBufferSize(int size) {
    if (delegateOpen_) {
        delegate_->SetInBufferSize(size); // refuses: the port is open
    }
    control_.SetInBufferSize(size);
}

void QtSerialPort::SetOutBufferSize(int size) {
    if (delegateOpen_) {
        delegate_->SetOutBufferSize(size);
    }
    control_.SetOutBufferSize(size);
}

void QtSerialPort::Output(const QByteArray& bytes) {
    RequireOpen();
    if (delegateOpen_) {
        delegate_->Output(bytes);
        return;
    }
    Pull();
    if (serial_->write(bytes) != bytes.size()) {
        const QString reason = serial_->errorString();
        serial_->clearError();
        FailedOnTheLine(CommError::DeviceBusy,
                        QStringLiteral("Writing to %1 failed: %2").arg(device_, reason));
    }
    // QSerialPort only queues the bytes until the event loop runs; a wait that starts now
    // must start with them on the line.
    Drain(WriteTimeoutMs(bytes.size()));
}

void QtSerialPort::FailedOnTheLine(int number, const QString& words) const {
    // "Device Busy" would send the user looking for another program: say what happened.
    if (!openDevice_.isEmpty() && !QFileInfo::exists(openDevice_)) {
        throw RuntimeError(ErrorNumber::SerialSystemError,
                           QStringLiteral("The adapter or its cable went away: %1 is no longer "
                                          "there.")
                               .arg(device_));
    }
    throw RuntimeError(number, words);
}

void QtSerialPort::Drain(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (serial_->bytesToWrite() > 0) {
        if (!serial_->waitForBytesWritten(int(deadline.remainingTime()))) {
            const bool timedOut = serial_->error() == QSerialPort::TimeoutError;
            const QString reason =
                timedOut ? QStringLiteral("the device took no data for %1 ms").arg(timeoutMs)
                         : serial_->errorString();
            serial_->clearError();
            FailedOnTheLine(CommError::DeviceBusy,
                            QStringLiteral("Writing to %1 failed: %2").arg(device_, reason));
        }
    }
}

QByteArray QtSerialPort::Input() {
    RequireOpen();
    if (delegateOpen_) {
        return delegate_->Input();
    }
    Pull();
    if (control_.InBufferCount() == 0 && !readFailure_.isEmpty()) {
        const QString reason = readFailure_;
        readFailure_.clear();
        FailedOnTheLine(CommError::ReadFailed,
                        QStringLiteral("Reading %1 failed: %2").arg(device_, reason));
    }
    return control_.Take();
}

int QtSerialPort::InBufferCount() const {
    if (delegateOpen_) {
        return delegate_->InBufferCount();
    }
    Pull();
    return control_.InBufferCount();
}

int QtSerialPort::CommEvent() const {
    // A closed port keeps the event of its last session, simulated or not.
    if (delegateOpen_ || (!serial_->isOpen() && lastSessionDelegated_)) {
        return delegate_->CommEvent();
    }
    Pull();
    return control_.CommEvent();
}

bool QtSerialPort::DSRHolding() const {
    RequireOpen();
    if (delegateOpen_) {
        return delegate_->DSRHolding();
    }
    serial_->clearError();
    const QSerialPort::PinoutSignals lines = serial_->pinoutSignals();
    const QSerialPort::SerialPortError error = serial_->error();
    serial_->clearError();
    if (error == QSerialPort::ResourceError) {
        return false; // the device has gone
    }
    if (error != QSerialPort::NoError) {
        return true; // a device without modem lines (a pseudo-terminal)
    }
    return lines.testFlag(QSerialPort::DataSetReadySignal);
}

bool QtSerialPort::StillThere(QString* why) const {
    if (delegateOpen_) {
        return delegate_->StillThere(why);
    }
    if (!serial_->isOpen()) {
        *why = QStringLiteral("the port is not open");
        return false;
    }
    Pull();
    if (!readFailure_.isEmpty()) {
        *why = QStringLiteral("the adapter or its cable went away (%1: %2)")
                   .arg(device_, readFailure_);
        return false;
    }
    // A USB adapter pulled, a pseudo-terminal whose other end closed: the node is gone.
    if (!QFileInfo::exists(openDevice_)) {
        *why = QStringLiteral("the adapter or its cable went away (%1 is no longer there)")
                   .arg(device_);
        return false;
    }
    return true;
}

void QtSerialPort::Pull() const {
    if (!serial_->isOpen() || pulling_) {
        return;
    }
    pulling_ = true;
    // Reads whatever the system holds without waiting; "timed out" only means nothing was
    // there.
    serial_->waitForReadyRead(0);
    const QSerialPort::SerialPortError error = serial_->error();
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError) {
        readFailure_ = serial_->errorString();
    }
    if (error != QSerialPort::NoError) {
        serial_->clearError();
    }
    const QByteArray data = serial_->readAll();
    pulling_ = false;
    control_.Deliver(data);
}

} // namespace platform
